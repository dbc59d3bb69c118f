// The command and status exchange: four-letter status words, and the data phase of a download.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fastboot/protocol.h"
#include "fastboot/transport/adb_errors.h"

namespace brenlo {
namespace {

constexpr std::size_t kStatusWordLength = 4;

void SetError(fb_connection* connection, const char* format, const char* value = "") {
    std::snprintf(connection->error, sizeof connection->error, format, value);
}

// Writes the command without its terminating zero; -1 with the error text set on failure.
int WriteCommand(fb_connection* connection, const char* command) {
    const std::size_t length = std::strlen(command);
    if (length > static_cast<std::size_t>(kMaxCommandLength)) {
        SetError(connection, "command too large");
        return -1;
    }
    if (device_write(connection, command, static_cast<int>(length)) != static_cast<int>(length)) {
        SetError(connection, "command write failed (%s)", AdbErrorText(connection->last_error));
        device_disconnect(connection);
        return -1;
    }
    return 0;
}

// The device is left in the middle of a download: the connection goes.
int FailDataPhase(fb_connection* connection, const char* reason) {
    SetError(connection, "data transfer failure (%s)", reason);
    device_disconnect(connection);
    return -1;
}

}  // namespace

int read_status(fb_connection* connection, std::uint32_t size_limit, bool data_phase,
                char* response) {
    for (;;) {
        unsigned char reply[kMaxReplyLength + 1];
        const int length = device_read(connection, reply);
        if (length < 0) {
            fb_report(connection, BRENLO_LEVEL_FAILURE, "status read failed (%s)",
                      AdbErrorText(connection->last_error));
            device_disconnect(connection);
            return -1;
        }
        reply[length] = '\0';
        const char* text = reinterpret_cast<const char*>(reply);
        if (length < static_cast<int>(kStatusWordLength)) {
            fb_report(connection, BRENLO_LEVEL_FAILURE, "status malformed (%d bytes)", length);
            device_disconnect(connection);
            return -1;
        }
        const char* rest = text + kStatusWordLength;
        if (std::memcmp(text, "INFO", kStatusWordLength) == 0) {
            fb_report(connection, BRENLO_LEVEL_PROGRESS, "%s\n", text);
            continue;
        }
        if (std::memcmp(text, "OKAY", kStatusWordLength) == 0) {
            if (response != nullptr)
                std::snprintf(response, kResponseSize, "%s", rest);
            return 0;
        }
        if (std::memcmp(text, "FAIL", kStatusWordLength) == 0) {
            if (length > static_cast<int>(kStatusWordLength))
                SetError(connection, "remote: %s", rest);
            else
                SetError(connection, "remote failure");
            return -1;
        }
        if (data_phase && std::memcmp(text, "DATA", kStatusWordLength) == 0) {
            const unsigned long long size = std::strtoull(rest, nullptr, 16);
            if (size > size_limit || size > INT32_MAX) {  // the result must stay an int
                SetError(connection, "data size too large");
                device_disconnect(connection);
                return -1;
            }
            return static_cast<int>(size);
        }
        SetError(connection, "unknown status code");
        device_disconnect(connection);
        return -1;
    }
}

int send_command(fb_connection* connection, const char* command, char* response) {
    if (response != nullptr)
        response[0] = '\0';
    if (WriteCommand(connection, command) != 0)
        return -1;
    return read_status(connection, 0, false, response);
}

int send_download(fb_connection* connection, const char* command, const unsigned char* data,
                  std::uint32_t size) {
    if (WriteCommand(connection, command) != 0)
        return -1;
    const int wanted = read_status(connection, size, true, nullptr);
    if (wanted < 0)
        return -1;
    // A device that takes less than the whole image would be left holding a cut one.
    if (static_cast<std::uint32_t>(wanted) != size)
        return FailDataPhase(connection, "short transfer");
    if (size > 0 && device_write(connection, data, wanted) != wanted)
        return FailDataPhase(connection, AdbErrorText(connection->last_error));
    if (read_status(connection, 0, false, nullptr) < 0)
        return -1;
    return wanted;
}

}  // namespace brenlo

// The queue of steps: building it, running it strictly in order, and the completions that
// report each step.
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>

#include "fastboot/protocol.h"

namespace brenlo {
namespace {

void CopyPartition(fb_action* action, const char* partition) {
    std::snprintf(action->partition, sizeof action->partition, "%s", partition);
}

// The label of a step for its reports; a step made without one reports an empty label.
const char* Label(const char* text) {
    return text != nullptr ? text : "";
}

}  // namespace

fb_action* enqueue_action(fb_connection* connection, std::uint32_t operation, const char* format,
                          ...) {
    auto* action = new (std::nothrow) fb_action{};
    if (action == nullptr)
        fatal_exit("out of memory");
    action->operation = operation;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(action->command, sizeof action->command, format, arguments);
    va_end(arguments);
    if (connection->queue_tail != nullptr)
        connection->queue_tail->next = action;
    else
        connection->queue_head = action;
    connection->queue_tail = action;
    action->completion = default_completion;
    action->connection = connection;
    return action;
}

void queue_erase(fb_connection* connection, const char* partition) {
    fb_action* action = enqueue_action(connection, FB_OP_COMMAND, "erase:%s", partition);
    CopyPartition(action, partition);
    action->step_kind = BRENLO_STEP_ERASE;
    action->message = make_message("erasing '%s'", partition);
}

void queue_flash(fb_connection* connection, const char* partition, unsigned char* data,
                 std::uint32_t size) {
    // Owned here until a step holds it, so that a failed allocation does not lose it.
    std::unique_ptr<unsigned char[]> image(data);
    fb_action* download = enqueue_action(connection, FB_OP_DOWNLOAD, "%s", "");
    download->data = image.release();
    download->size = size;
    CopyPartition(download, partition);
    download->step_kind = BRENLO_STEP_SENDING;
    download->message =
        make_message("sending '%s' (%d KB)", partition, static_cast<int>(size / 1024));

    fb_action* flash = enqueue_action(connection, FB_OP_COMMAND, "flash:%s", partition);
    CopyPartition(flash, partition);
    flash->step_kind = BRENLO_STEP_WRITING;
    flash->message = make_message("writing '%s'", partition);
}

int run_queue(fb_connection* connection) {
    char response[kResponseSize] = "";
    int status = 0;
    for (fb_action* action = connection->queue_head; action != nullptr; action = action->next) {
        connection->current_action = action;
        if (action->message != nullptr)
            fb_report(connection, BRENLO_LEVEL_PROGRESS, "%s... ", action->message);
        const char* outcome = "";
        switch (action->operation) {
            case FB_OP_DOWNLOAD: {
                char command[kCommandTextSize];
                std::snprintf(command, sizeof command, "download:%08x", action->size);
                status =
                    send_download(connection, command, action->data, action->size) < 0 ? -1 : 0;
                outcome = status != 0 ? connection->error : "";
                break;
            }
            case FB_OP_COMMAND:
                status = send_command(connection, action->command, nullptr);
                outcome = status != 0 ? connection->error : "";
                break;
            case FB_OP_QUERY:
                status = send_command(connection, action->command, response);
                outcome = status != 0 ? connection->error : response;
                break;
            case FB_OP_NOTICE:
                fb_report(connection, BRENLO_LEVEL_PROGRESS, "%s\n",
                          Label(reinterpret_cast<const char*>(action->data)));
                continue;
            default:
                fatal_exit("bogus action");
        }
        status = action->completion(action, status, outcome);
        if (status != 0)
            return status;
    }
    return status;
}

int default_completion(fb_action* action, int status, const char* response) {
    if (status != 0) {
        fb_report(action->connection, BRENLO_LEVEL_FAILURE, "%s FAILED (%s)\n",
                  Label(action->message), response);
        return status;
    }
    fb_report(action->connection, BRENLO_LEVEL_OKAY, "%s OKAY\n", Label(action->message));
    return 0;
}

int reboot_completion(fb_action* action, int status, const char* response) {
    if (status != 0) {
        fb_report(action->connection, BRENLO_LEVEL_FAILURE, "%s FAILED (%s)\n", action->command,
                  response);
        return status;
    }
    fb_report(action->connection, BRENLO_LEVEL_PROGRESS, "%s\n", Label(action->message));
    return 0;
}

}  // namespace brenlo

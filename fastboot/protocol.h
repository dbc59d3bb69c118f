// Brenlo's fastboot protocol client: one connection per request over an AdbApi interface, the
// command / status exchange with its data phase, and a queue of steps run strictly in order,
// each reported through the owner's callback.
//
// Written in a plain procedural style: records, functions that return 0 or -1 and leave a text
// in the connection's error field. Everything runs on the caller's thread and blocks it; nothing
// is shared between connections. Pauses between attempts go through the connection's clock.
//
// Failures that cannot be results (no memory for a step, a step with an unknown operation) end in
// fatal_exit, which throws fatal_error; flash_run catches it, reports it and releases the
// connection. Nothing of this file throws anything else of its own.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "fastboot/brenlo.h"
#include "fastboot/transport/adb_api.h"
#include "platform/clock.h"

namespace brenlo {

// Sizes of the wire and of the records.
inline constexpr int kMaxCommandLength = 64;  // longest command the device takes
inline constexpr int kMaxReplyLength = 64;    // one status reply
inline constexpr int kErrorTextSize = 128;
inline constexpr int kPartitionNameSize = 64;
inline constexpr int kCommandTextSize = 64;
inline constexpr int kResponseSize = kMaxReplyLength + 1;

// Transfer timing: every attempt that fails is followed by a pause.
inline constexpr int kTransferAttempts = 6;
inline constexpr platform::Milliseconds kRetryPause{1000};
inline constexpr unsigned long kWriteChunk = 4096;
inline constexpr std::uint32_t kWriteTimeoutBaseMs = 500;
inline constexpr std::uint32_t kWriteTimeoutPerByteMs = 8;
inline constexpr unsigned long kReadTimeoutMs = 500 + 8 * kMaxReplyLength;  // 1012
// A device that stays connected but moves nothing, neither answering nor taking data, is given
// up after this long without progress.
inline constexpr platform::Milliseconds kSilentDeviceGiveUp{10 * 60 * 1000};

enum fb_operation : std::uint32_t {
    FB_OP_DOWNLOAD = 1,
    FB_OP_COMMAND = 2,
    FB_OP_QUERY = 3,
    FB_OP_NOTICE = 4,
};

struct fb_action;
struct fb_connection;

// Called after a step with its status (0 or -1) and the response or error text; a non-zero
// result stops the queue.
using fb_completion = int (*)(fb_action* action, int status, const char* response);

// One queued step, allocated zero-filled.
struct fb_action {
    std::uint32_t operation;  // fb_operation
    fb_action* next;
    char command[kCommandTextSize];  // empty for a download
    // download: the image bytes; notice: the zero-terminated text. Owned by the step.
    unsigned char* data;
    std::uint32_t size;  // download: number of bytes
    char* message;       // the step's label from make_message, or null
    fb_completion completion;
    fb_connection* connection;
    char partition[kPartitionNameSize];  // empty for the reboot step
    int step_kind;                       // BRENLO_STEP_*
};

// One per request, allocated zero-filled by device_open. It owns its queue, every step in it,
// their data and the interface name.
struct fb_connection {
    ADBAPIHANDLE interface_handle;  // null after a disconnect
    ADBAPIHANDLE read_endpoint;
    ADBAPIHANDLE write_endpoint;
    char* interface_name;  // as AdbGetInterfaceName reports it; kept, not otherwise used
    fb_action* queue_head;
    fb_action* queue_tail;
    fb_action* current_action;   // null while the queue is being built
    const flash_request* owner;  // source of the callback and its context; set once recognised
    char error[kErrorTextSize];  // the last failure written by the protocol layer
    AdbApi* api;                 // the transport the connection was opened on
    platform::Clock* clock;      // for the pauses between attempts
    // The Windows error value (adb_errors.h) of the last transfer that failed. Kept here rather
    // than in errno, which the calls made after a failure (closing handles) may overwrite.
    unsigned long last_error;
};

// What fatal_exit throws.
class fatal_error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// --- The device (device.cpp) ---

// Opens the interface and its two bulk endpoints; null on failure, with the API's last error
// holding the reason.
fb_connection* device_open(const wchar_t* interface_name, AdbApi& api, platform::Clock& clock);
// True if the interface is a fastboot interface (class 0xFF, subclass 0x42, protocol 0x03, two
// endpoints) of an accepted vendor.
bool device_matches(fb_connection* connection);
// Reads one status reply of at most kMaxReplyLength bytes into `buffer`: its length, or -1 with
// the connection's last_error set. Each series makes kTransferAttempts attempts with a pause
// after each failure; while the device stays connected and only times out, series follow each
// other for up to kSilentDeviceGiveUp (the read then fails with kErrorSemTimeout). A vanished
// device (kErrorInvalidHandle) disconnects the connection.
int device_read(fb_connection* connection, unsigned char* buffer);
// Writes `length` bytes in chunks of at most kWriteChunk, each with up to kTransferAttempts
// attempts and a pause after each failure: `length`, or -1 with the connection's last_error set.
// Each attempt waits 500 ms plus 8 ms per byte of the whole call, but never beyond
// kSilentDeviceGiveUp since the device last took a byte; the write fails once that much time
// has passed without progress. A vanished device disconnects the connection.
int device_write(fb_connection* connection, const void* data, int length);
// Closes the handles and frees the interface name; the record stays usable, its transfers fail.
void device_disconnect(fb_connection* connection);
// Frees the queue with its data, disconnects and frees the record. Null is allowed.
void device_release(fb_connection* connection);

// --- Commands and status (status.cpp) ---

// Reads replies until a final one: 0 for OKAY (its text copied to `response`, if given, which
// holds kResponseSize), the size for DATA when `data_phase` and the size is at most
// `size_limit`, -1 otherwise. INFO replies are reported and skipped. A failed read or a reply
// shorter than a status word is reported; every other failure leaves its text in the error
// field. Only FAIL leaves the connection open.
int read_status(fb_connection* connection, std::uint32_t size_limit, bool data_phase,
                char* response);
// Sends a command and reads its status: 0 on OKAY, -1 on failure. `response` may be null.
int send_command(fb_connection* connection, const char* command, char* response);
// Sends a download command and its data: `size`, or -1. The device must ask for the whole data;
// one that asks for less fails the download before any data is sent.
int send_download(fb_connection* connection, const char* command, const unsigned char* data,
                  std::uint32_t size);

// --- The queue (queue.cpp) ---

// Appends a step with the command text formatted from `format`; its completion is
// default_completion. Out of memory: fatal_exit.
fb_action* enqueue_action(fb_connection* connection, std::uint32_t operation, const char* format,
                          ...) __attribute__((format(printf, 3, 4)));
void queue_erase(fb_connection* connection, const char* partition);
// Queues the data phase and the flash command. The step takes over `data` (from load_file).
void queue_flash(fb_connection* connection, const char* partition, unsigned char* data,
                 std::uint32_t size);
// Runs every step from the head: 0 when all succeeded, else the completion result that stopped
// the queue.
int run_queue(fb_connection* connection);
int default_completion(fb_action* action, int status, const char* response);
int reboot_completion(fb_action* action, int status, const char* response);

// --- Reports (report.cpp) ---

// Hands the text to the owner's callback, with the current step's partition and kind. Dropped
// when there is no owner or no current step (while the queue is being built).
void fb_report(fb_connection* connection, int level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// A new heap text (free with delete[]). Out of memory: fatal_exit.
char* make_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes the text to standard error and throws fatal_error with it.
[[noreturn]] void fatal_exit(const char* format, ...) __attribute__((format(printf, 1, 2)));

// --- Images (load_file.cpp) ---

// The whole file in a new buffer (free with delete[]), with its size; null on failure, after a
// report (dropped while the queue is being built).
unsigned char* load_file(fb_connection* connection, const char* path, std::uint32_t* size);

}  // namespace brenlo

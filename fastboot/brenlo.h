// Brenlo: flashes one phone that is already in fastboot mode.
//
// The library has a single export, `Brenlo`. One call opens the phone's fastboot interface by the
// name in the request, erases the selected partitions, writes the selected images, reboots the
// phone and reports every step through the request's callback. It blocks the calling thread until
// everything is done or has failed; the callback runs on that same thread, synchronously.
//
// Interface names: "usb:1-4.3" (bus number and port path, the form `fastboot devices -l` prints),
// or "tcp:HOST[:PORT]" for a device on the fastboot TCP transport (default port 5554).
//
// The record holds std::string members, so a caller must be built with the same compiler and
// standard library string layout as the library. The library copies the whole record at entry
// and never writes to the caller's record. It keeps no state between calls; several threads may
// each run their own call at the same time, on different phones.
#pragma once

#include <cstdint>
#include <string>

// Values of the step kind passed to the callback.
enum : std::int32_t {
    BRENLO_STEP_NONE = 0,
    BRENLO_STEP_ERASE = 1,
    BRENLO_STEP_SENDING = 2,  // the data phase of a flash
    BRENLO_STEP_WRITING = 3,  // the flash command that writes the sent image
};

// Values of the report level passed to the callback.
enum : std::int32_t {
    BRENLO_LEVEL_FAILURE = 0,
    BRENLO_LEVEL_OKAY = 1,      // a step finished with OKAY
    BRENLO_LEVEL_PROGRESS = 2,  // progress or information
};

// Receives every text of a call.
//   context    the request's context field, unchanged
//   partition  the partition the step concerns: null for the texts of the call itself (opening,
//              missing files), empty for the reboot step
//   step_kind  one of BRENLO_STEP_*
//   level      one of BRENLO_LEVEL_*
//   text       the message; valid only during the callback
using progress_callback = void (*)(std::uintptr_t context, const char* partition,
                                   std::int32_t step_kind, std::int32_t level, const char* text);

// One flashing request. Every flag is non-zero for yes. Mind the order: the erase flags do not
// stand in the order of the flash flags (recovery comes before userdata and system). The order
// of the fields plays no part in the order of the steps: AMSS is always handled first and system
// last.
struct flash_request {
    std::int32_t flash_boot;
    std::int32_t flash_amss;
    std::int32_t flash_userdata;
    std::int32_t flash_system;
    std::int32_t flash_recovery;
    std::int32_t erase_boot;
    std::int32_t erase_amss;
    std::int32_t erase_recovery;
    std::int32_t erase_userdata;
    std::int32_t erase_system;
    // Handed back unchanged as the first argument of every callback. Pointer-sized, so a caller
    // may pass the address of its own state (the field was 32 bits wide on the 32-bit build this
    // record comes from, where that was the size of a pointer too).
    std::uintptr_t context;
    progress_callback callback;  // may be null: the call then runs silently
    std::string amss_path;
    std::string boot_path;
    std::string userdata_path;
    std::string system_path;
    std::string recovery_path;
    std::string interface_name;  // the phone's fastboot interface, see above
};

// The largest image a request can carry: image sizes travel as signed 32-bit values, on the
// wire and in the reports. A larger file fails the call like an unreadable one.
inline constexpr std::int64_t BRENLO_MAX_IMAGE_SIZE = INT32_MAX;

// The result is one byte wide.
static_assert(sizeof(bool) == 1);

// Runs one request: true when every queued step succeeded and the phone was told to reboot, false
// on any failure (and for a null request). Never throws.
extern "C" bool Brenlo(const flash_request* request);

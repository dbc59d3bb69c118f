// The library's one export.
#include "fastboot/brenlo.h"

#include "fastboot/flash_run.h"
#include "fastboot/transport/adb_api.h"
#include "platform/clock.h"

extern "C" __attribute__((visibility("default"))) bool Brenlo(const flash_request* request) {
    if (request == nullptr)
        return false;
    try {
        // The call works on its own copy; the caller's record is never written.
        const flash_request copy = *request;
        brenlo::SystemAdbApi api;
        return brenlo::flash_run(copy, api, platform::SystemClock());
    } catch (...) {
        // Only the copy itself can throw here (no memory for its strings).
        if (request->callback != nullptr) {
            try {
                request->callback(request->context, nullptr, BRENLO_STEP_NONE, BRENLO_LEVEL_FAILURE,
                                  "Download Arm11 Error!");
            } catch (...) {
            }
        }
        return false;
    }
}

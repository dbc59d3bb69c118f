// Results of the command channels. 0 is success; every other value says why a command failed.
#pragma once

namespace fendrel {

enum DMSS_RET_E_TYPE : int {
    DMSS_SUCCESS = 0,
    DMSS_NOT_ATTACHED = 1,  // no port is bound to the channel
    DMSS_WRITE_FAILED = 2,  // the request could not be written to the port
    DMSS_TIMEOUT = 3,       // no reply within the command's time-out
    DMSS_STOPPED = 4,       // the worker's stop event ended the wait
    DMSS_BAD_REPLY = 5,     // a reply arrived but is not the answer to the request
    DMSS_REJECTED = 6,      // the phone refused the request (bad command, parameter or length)
    DMSS_PORT_GONE = 7,     // the port went away (unplugged, or the phone re-enumerated)
    // The phone took the switch-to-downloader command and left before it could answer: its
    // diagnostic port went away right after the request was written. The switch step counts this
    // as success.
    DMSS_SWITCHED_WITHOUT_REPLY = 8,
};

// The download channel reports with the same codes.
using DL_RET_E_TYPE = DMSS_RET_E_TYPE;

}  // namespace fendrel

// Results of the command channels. 0 is success; every other value says why a command failed.
#pragma once

namespace fendrel {

enum DMSS_RET_E_TYPE : int {
    DMSS_SUCCESS = 0,
    DMSS_NOT_ATTACHED = 1,  // no port is bound to the channel, or the bound port is closed
    DMSS_IO_FAILED = 2,     // the port failed a read or a write for another reason than going away
    DMSS_TIMEOUT = 3,       // no answer within the command's time-out (or the request could not
                            // be written within the write time-out)
    DMSS_STOPPED = 4,       // the worker's stop event ended the wait
    DMSS_BAD_REPLY = 5,     // an answer arrived but is too short or malformed for its record
    DMSS_REJECTED = 6,      // the phone refused the request: a DIAG error packet (bad command,
                            // parameter, length, mode, security) or a download-protocol NAK
    DMSS_PORT_GONE = 7,     // the port went away (unplugged, or the phone re-enumerated)
    // The phone took the switch-to-downloader command and left before it could answer: its
    // diagnostic port went away after the request was written. The switch step counts this as
    // success.
    DMSS_SWITCHED_WITHOUT_REPLY = 8,
};

// The download channel reports with the same codes.
using DL_RET_E_TYPE = DMSS_RET_E_TYPE;

}  // namespace fendrel

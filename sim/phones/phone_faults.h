// The faults a simulated phone shows on request (fendrel-sim's "fault" command).
//
// A fault applies to every request, or to the requests of one command code only (DIAG and DMSS
// download; a flash family's download mode takes only faults for every request):
//   silent             the phone says nothing and does nothing
//   bad-crc            it acts, but its answer's frame check is wrong
//   nak                it refuses: DIAG's bad-command error, or a NAK (invalid command)
//   delay              it acts at once but answers only after the fault's delay
//   unplug-mid-reply   it acts, sends the first half of its answer and leaves the bus for good
//   stay-online        it confirms the offline mode change but stays online
//   switch-error       it answers the switch to the downloader with a bad-mode error
// A flash family's download mode gives some of them a meaning of its own, and has faults of its
// own (see its header): bad-digest, unplug-mid-program, refuse-programmer and no-digest for the
// firehose family; error-mid-write and unplug-mid-stream for the programmers of the nand and nor
// families, table-differs for nand's. Elsewhere those do nothing. A NAK of a programmer's GO is
// the nak fault for command 05.
#pragma once

#include <optional>
#include <string_view>

namespace sim {

enum class PhoneFault {
    kNone,
    kSilent,
    kCorruptCrc,
    kNak,
    kDelay,
    kUnplugMidReply,
    kStayOnline,
    kSwitchError,
    kBadDigest,
    kUnplugMidProgram,
    kRefuseProgrammer,
    kNoDigest,
    kErrorMidWrite,
    kUnplugMidStream,
    kTableDiffers,
};

// "silent", "bad-crc", ... as in the list above, and "none".
std::optional<PhoneFault> ParseFault(std::string_view name);

}  // namespace sim

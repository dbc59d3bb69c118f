// The "firehose" flash family: a phone whose download mode speaks Sahara and, once a programmer
// runs, Firehose, against an eMMC that is the disk image DIR/disks/phoneN.img (made sparse when
// missing; 512-byte sectors, one physical partition, 0).
//
// Sahara (qcom/sahara_protocol.h): the phone sends its HELLO (version 2, image transfer) as soon
// as it comes up in download mode, that is before any host has opened the port; a host that
// empties the port on opening never sees it. Whenever the phone, waiting for the answer to its
// HELLO, gets anything else than a HELLO_RESP, it drops what it got and says HELLO again. Then it
// reads the programmer as programmer_image.h tells, in READ_DATA requests, and ends with
// END_OF_IMAGE_TX: status 0 for an image it takes, 0x14 (invalid ELF header) for one it does
// not. At DONE it answers DONE_RESP (complete) and the programmer starts: it logs two lines and
// speaks Firehose. A RESET restarts the phone in download mode.
//
// Firehose (qcom/firehose_protocol.h), one command per document, NAKs with a log line saying why:
//   configure        MemoryName eMMC (any case); the piece size asked for is taken when it is
//                    at most the phone's largest (1 MiB unless the phone's profile says), else
//                    refused naming the largest
//   getstorageinfo   physical partition 0: the disk's size in a log line,
//                    {"storage_info": {"total_blocks":N, "block_size":512, ...}}
//   program, read    raw data to or from the disk; start_sector may be a sector expression
//   getsha256digest  the sectors' SHA-256 in a log line "Digest 0x<64 hex digits>"
//   patch            filename DISK; start_sector and value may be sector expressions (no CRC32)
//   power            reset: the phone restarts in normal mode; off: it leaves the bus
//   nop              ACK
// Everything before configure but nop is refused; bytes that are no document are answered with
// a NAK ("XML not formed correctly"). The disk is written only by program and patch.
//
// Faults (fendrel-sim's "fault N KIND"; phone_faults.h), for every request:
//   silent               the phone says HELLO and nothing after
//   nak                  every program is refused
//   bad-digest           every getsha256digest answers a wrong digest
//   unplug-mid-program   the phone leaves the bus in the middle of a program's data, for good
//   refuse-programmer    the loader refuses every programmer (END_OF_IMAGE_TX status 0x25, image
//                        authentication failure)
//   no-digest            getsha256digest is refused as unknown (a programmer without it)
// Other faults do nothing here.
#pragma once

#include <cstdint>
#include <memory>

#include "sim/phones/flash_family.h"

namespace sim {

std::unique_ptr<DownloadSpeaker> MakeFirehosePhone(const FamilySetup& setup);

}  // namespace sim

// The NOR route of a flash download (the flash type NOR, or any type but MULTI and EMMC): the app
// and boot images of the call's lists written to a NOR phone in download mode through the
// station's NOR programmer (qcom/nor_protocol.h).
//
//  1. The files are checked before the phone is touched: every image of both lists (several
//     images of a list are written one after the other, as one), and the programmer, the version
//     folder's NPRG*.bin or NPRG*.hex (image_set_files.h, ram_programmer.h).
//  2. The programmer is uploaded over DMSS download and started (programmer_start.h).
//  3. Hello (uncompressed), the boot-block information (the boot images' size; the phone answers
//     with its regions' sizes), the boot region erased and written, the EFS region erased when
//     the operator asked, the checksum erased, then the app erased and written piece by piece, the
//     app's checksum written last, and the phone told to restart.
//
// Reports (codes and numbers: plugin_call.h; b done, c total, d just done where the worker adds
// progress):
//   0   no programmer, or one that cannot be placed    | 1, 2, 24  its upload and start
//   6   a boot image missing                           | 15        an app image missing (also
//                                                      |           when both lists are empty)
//   2   the programmer does not say hello              | 3         the boot-block information
//                                                      |           refused, or an app larger
//                                                      |           than the phone's app region
//   4   the boot region erased (once, before and after)| 5         that erase failed
//   7   the boot images written (before and after)     | 8         that write failed, with the
//                                                      |           bytes the phone had taken
//   9   the EFS region erased, in kEfsPieces pieces    | 10        that erase failed
//   11  the checksum erased                            | 12        that erase failed
//   13  a piece of the app erased, then 16 that piece  | 14, 17    the erase, the write failed
//       written: as many pieces as bring the worker's
//       bar to 100 with the last one
//   18  before the checksum is written                 | 19        the phone refused it
//   20  before the restart                             | 21        the restart failed
// Stop: every wait watches the stop event; the call returns 0 at once after the report of the
// step it was in.
//
// Threads: the worker's; all state lives in the call.
#pragma once

#include "flashlibs/support/plugin_call.h"

namespace fendrel::flashlibs {

inline constexpr int kEfsPieces = 4;

// Writes the call's images to the phone on call.port; true when written and restarted.
bool NorDownload(const PluginCall& call);

}  // namespace fendrel::flashlibs

// The NAND multi-image route of a flash download: a set with an MPRG7627A-type programmer
// (image_set_files.h) written to a phone in download mode.
//
//  1. The set's files are checked before the phone is touched: partition.mbn (at most 512
//     bytes) and every image of qcom/multi_image_set.h that every set has, with its header; the
//     further images where present (an image without its header is an incomplete set).
//  2. The programmer is uploaded over DMSS download and started (programmer_start.h).
//  3. Streaming download: hello (uncompressed, multi-image), security mode, the partition table
//     (sent again with override, when the phone's differs, only when the operator asked to erase:
//     the EFS option), then every image opened by its type, with its header as payload where it
//     has one, written in the phone's block size, and closed; the phone is told to restart.
//
// Reports (codes and numbers: plugin_call.h; the progress plan: progress_reports.h):
//
//   | what happens                                   | code | b, c, d                          |
//   |------------------------------------------------|------|----------------------------------|
//   | no programmer, or one that cannot be placed    | 0    |                                  |
//   | a missing file                                 | 25   | its sub-code: 1 partition.mbn,   |
//   |                                                |      | 5 qcsblhd_cfgdata.mbn, 3 qcsbl,  |
//   |                                                |      | 6 oemsblhd, 4 oemsbl, 7 amsshd,  |
//   |                                                |      | 8 amss                           |
//   | a partition table over 512 bytes, a further    | 28   | (shows "Download fail!")         |
//   | image without its header                       |      |                                  |
//   | the programmer's upload and start              | 1, 2, 24 (programmer_start.h)           |
//   | the programmer does not say hello, or refuses  | 2    | its size, its size               |
//   | the security mode                              |      |                                  |
//   | the partition table written                    | 26   | 1, its bytes, its bytes          |
//   | the partition table refused                    | 27   | 1, 0, its bytes                  |
//   | qcsblhd_cfgdata.mbn, oemsblhd.mbn, amsshd.mbn  | 26   | 4, 6, 8 (fixed texts)            |
//   | on their way                                   |      |                                  |
//   | qcsbl.mbn, oemsbl.mbn written                  | 26   | 3, 5; its bytes, its bytes       |
//   | a further image on its way, written            | 22   | bytes written, its bytes         |
//   | amss.mbn written, step by step                 | 26   | 7, bytes just written, its bytes;|
//   |                                                |      | or 22 with bytes written, total  |
//   | opening an image refused (its header)          | 27   | 4, 6 or 8 (fixed texts); for one |
//   |                                                |      | without a header as its write    |
//   | writing an image failed (refused, silence, the | 27   | 3, 5 or 7, bytes written not yet |
//   | phone gone, stopped), or closing it            |      | reported, its bytes; a further   |
//   |                                                |      | image 23 (written, its bytes);   |
//   |                                                |      | qcsblhd_cfgdata.mbn 27, 4        |
//   | before the restart                             | 20   |                                  |
//   | the restart failed                             | 21   |                                  |
//
// Stop: every wait watches the stop event and the call returns 0 at once, after the report of
// the step it was in.
//
// Threads: the worker's; all state lives in the call.
#pragma once

#include "flashlibs/support/image_set_files.h"
#include "flashlibs/support/plugin_call.h"

namespace fendrel::flashlibs {

// Writes `image_set` to the phone on call.port. True when every image was written and the phone
// told to restart.
bool NandMultiDownload(const PluginCall& call, const ImageSet& image_set);

}  // namespace fendrel::flashlibs

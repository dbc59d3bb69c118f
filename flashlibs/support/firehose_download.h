// The firehose route of a flash download: an image set with a firehose programmer written to a
// phone in download mode.
//
//  1. The image set's layout (rawprogram0.xml, patch0.xml when there is one) is read and checked
//     before the phone is touched.
//  2. The programmer is uploaded with Sahara (or found running already).
//  3. Firehose: configure (pieces of 1 MiB asked for, the phone's answer taken), the size of
//     every physical partition the layout uses, and the layout placed on them.
//  4. Every region is written in program commands of at most kProgramBytes, and verified: the
//     phone's SHA-256 of the region (getsha256digest) against that of the file's data, or, from a
//     programmer without getsha256digest, the region read back.
//  5. The patches, each value worked out from the phone's sectors as they stand, each field read
//     back after it is written.
//  6. The phone is told to restart (power reset).
//
// Reports (codes and numbers: plugin_call.h; the progress plan: progress_reports.h):
//
//   | what happens                                    | code | b, c, d                          |
//   |-------------------------------------------------|------|----------------------------------|
//   | no firehose programmer in the image set         | 0    |                                  |
//   | no rawprogram0.xml, or a GPT file it names      | 25   | 1 (partition table)              |
//   | another image file rawprogram0.xml names        | 25   | 8 (Amss file)                    |
//   | a layout that does not check out or fit         | 28   | (shows "Download fail!")         |
//   | the programmer's upload                         | 1    | bytes sent, its size, just sent  |
//   | the upload failed (silence, refusal, nonsense)  | 2    | bytes sent, its size             |
//   | the programmer runs                             | 24   |                                  |
//   | configure or a partition's size failed          | 28   |                                  |
//   | a partition table region written (gpt_* files,  | 26   | 1, bytes just written, the       |
//   | labels PrimaryGPT and BackupGPT)                |      | tables' total                    |
//   | any other region written: the phone's software  | 26   | 7, bytes just written, the       |
//   |                                                 |      | software's total; or 22 with     |
//   |                                                 |      | bytes written, total (no weight) |
//   | a region's write failed, or its verification    | 27   | 1 or 7, bytes written not yet    |
//   | found other data (also: stopped mid-region)     |      | reported, the row's total        |
//   | the patches are written                         | 18   |                                  |
//   | a patch failed or read back wrong               | 19   |                                  |
//   | before the restart                              | 20   |                                  |
//   | the restart failed                              | 21   |                                  |
//
// Stop: every wait watches the stop event. A program command the stop cuts short is finished
// with its data (so the phone ends it where a next run can start: kProgramBytes is small enough
// for that to take well under a second), and the call returns 0. The programmer then keeps
// running; the next run finds it so and goes straight to configure.
//
// Threads: the worker's; all state lives in the call.
#pragma once

#include <cstddef>

#include "flashlibs/support/image_set_files.h"
#include "flashlibs/support/plugin_call.h"
#include "flashlibs/support/progress_reports.h"

namespace fendrel::flashlibs {

// The largest share of a region one program command carries.
inline constexpr std::size_t kProgramBytes = 1 << 20;

// Writes `image_set` to the phone on call.port. True when it was written, verified and
// restarted.
bool FirehoseDownload(const PluginCall& call, const ImageSet& image_set, FlashRoute route);

}  // namespace fendrel::flashlibs

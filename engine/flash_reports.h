// What a worker makes of a flash-download plugin's reports.
//
// A report is (code, b, c, d). Codes 0 to 24 name a stage of a single-image download: the status
// text is the code's string, with b and c (done and total) filled into its two numbers where it
// has them, posted as STATUS for progress and ERROR for failures; codes 1 (RAM programmer), 9
// (EFS erase) and 13 (app erase) also add their weight x d / c to the progress and tick. Codes
// 25 (missing file), 26 (progress) and 27 (failure) are those of a multi-image phone: b is the
// image's sub-code (1 partition table, 2 primary boot loader, 3 Qcs boot loader, 4 Qcs header,
// 5 Oem boot loader, 6 Oem header, 7 Amss, 8 Amss header; code 25 numbers its texts in its own
// order), c the amount just done and d the image's total; the image's byte counter grows by c
// and its text shows the counter and d. Sub-codes outside 1 to 8 do nothing. Any other code
// shows "Download fail!" as an ERROR. A report whose total is 0 moves no progress.
#pragma once

namespace fendrel {

class CDownloadThread;

void ApplyFlashReport(CDownloadThread& worker, int code, int b, int c, int d);

}  // namespace fendrel

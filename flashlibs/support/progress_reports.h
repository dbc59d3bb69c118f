// The progress reports of a firehose download, planned so that the worker's progress bar runs
// from 0 to 100 over the whole run and reaches 100 only with the last report.
//
// The worker's arithmetic (engine/progress_model.h, engine/flash_reports.h), which the plan
// follows: the bar shows P / W. A report with progress weight adds weight x done / total to P and
// then ticks, and on a download-mode run with a firehose programmer every tick adds 0.067 on
// top. W is 4.11 for a "MULTI" run (its image weight 4.0 among it) and, for "EMMC", 0.03 plus
// 1.05 when an app image is given, plus 0.15 with the EFS erase. Only the software row (code 26,
// sub-code 7: weight 4.0) and the programmer (code 1: weight 0.03) move the bar; so the plan
// sends the programmer's progress twice (its first piece and its end), the partition tables'
// row (no weight) after each table, and the software row's bytes in as many even steps as W
// leaves room for; between those steps, and for the steps W has no room for, the same numbers
// go out as code 22 "Downloading modul(...)", which moves nothing. The last step goes out when
// everything is written and verified, and brings the bar to 100. Numbers are bytes, or KiB for
// a row of more than 2 GiB (the reports carry ints).
//
// An "EMMC" run weighs less than the software row alone: its bar moves with the programmer and
// then with the last report; without an app image W is 0.03, which the programmer's first report
// fills. The image folders of the M4 and T6 models tick slower (0.012): their bars run lower, and
// may end at 99 when the programmer ran already.
#pragma once

#include <cstdint>

#include "flashlibs/support/plugin_call.h"

namespace fendrel::flashlibs {

// What the worker makes of the reports this plan sends.
struct WorkerProgress {
    float total = 0;              // W
    float tick = 0;               // added by every report with progress weight
    float programmer_weight = 0;  // code 1
    float software_weight = 0;    // code 26, sub-code 7
    float erase_efs_weight = 0;   // code 9
    float erase_app_weight = 0;   // code 13 after a code 9, or without the EFS erase
};

enum class FlashRoute { kMulti, kEmmc, kNor };

// The worker's arithmetic for a run of `route` (with an app image given or not, the EFS erase on
// or off) and the page's other options at their defaults; `firehose_set`: the image folder holds
// a firehose programmer, which makes the worker's ticks larger.
WorkerProgress WorkerProgressOf(FlashRoute route, bool app_image, bool erase_efs,
                                bool firehose_set = true);

class ProgressReports {
  public:
    // The software row goes out in at most this many steps.
    static constexpr int kSteps = 32;

    ProgressReports(const Reporter& report, WorkerProgress worker)
        : report_(report), worker_(worker) {}

    // The programmer's upload: `sent` of its `total` bytes so far, and all the phone asked for
    // (which need not be every byte of the file) once it has taken the programmer.
    void Programmer(std::uint64_t sent, std::uint64_t total);
    void ProgrammerTaken(std::uint64_t sent, std::uint64_t total);
    // The rows' totals, once the plan is known; before any Written. `still_to_come`: the
    // progress other reports (WholeImage) will add before the software row ends.
    void Start(std::uint64_t table_bytes, std::uint64_t software_bytes, float still_to_come = 0);
    // A small image of `row` (kQcsBootLoader or kOemBootLoader) of `bytes` was written whole.
    void WholeImage(ImageRow row, std::uint64_t bytes);
    // What WholeImage adds for `row`.
    float WholeImageProgress(ImageRow row) const;
    // `bytes` more of a row were written.
    void Written(ImageRow row, std::uint64_t bytes);
    // Writing a region of `row` failed: its failure, with the row's bytes written.
    void Failed(ImageRow row);
    // Everything is written and verified: the last step.
    void Finish();

    // A report of codes 1 to 24 that the worker weighs: b `done`, c `total`, d `piece`; it adds
    // weight x piece / total and a tick.
    void Weighted(int code, std::uint64_t done, std::uint64_t total, std::uint64_t piece,
                  float weight);

    // The bar the worker shows now, as this plan works it out (0 to 100).
    int Percentage() const;
    float progress() const { return progress_; }
    const WorkerProgress& worker() const { return worker_; }

  private:
    struct Row {
        std::uint64_t total = 0;
        std::uint64_t done = 0;      // written
        std::uint64_t reported = 0;  // sent in code 26 reports
        std::uint32_t unit = 1;      // bytes per number in the reports
    };
    Row& RowOf(ImageRow row) { return row == ImageRow::kPartitionTable ? table_ : software_; }
    void ReportRow(int code, ImageRow row);
    void Add(float weight, std::uint64_t done, std::uint64_t total);
    void ReportProgrammer(std::uint64_t sent, std::uint64_t total);

    Reporter report_;
    WorkerProgress worker_;
    float progress_ = 0;                     // the worker's P, as worked out here
    std::uint64_t programmer_reported_ = 0;  // bytes of the programmer in code 1 reports
    Row table_, software_;
    int steps_ = 0;          // the software row's steps with progress weight
    int next_step_ = 1;      // of kSteps text steps
    int weighted_sent_ = 0;  // steps with weight sent so far
};

}  // namespace fendrel::flashlibs

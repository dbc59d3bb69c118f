#include "flashlibs/support/progress_reports.h"

#include <algorithm>
#include <climits>

namespace fendrel::flashlibs {
namespace {

// The worker's weights (engine/progress_model.cpp and engine/flash_reports.cpp), as this plan
// relies on them; tests/flashlibs checks the plan against the worker itself.
constexpr float kBaseWeight = 0.03f;
constexpr float kMultiOptionWeight = 0.02f;
constexpr float kMultiPartWeight = 0.02f;
constexpr int kMultiParts = 3;
constexpr float kMultiImageWeight = 4.0f;
constexpr float kEraseEfsWeight = 0.15f;
constexpr float kEraseAppWeight = 0.05f;
constexpr float kAppImageWeight = 1.0f;
constexpr float kFirehoseTick = 0.067f;
constexpr float kDownloadModeTick = 0.012f;  // a download-mode run without a firehose programmer
constexpr float kBootLoaderWeight = 0.02f;   // code 26, sub-codes 2, 3 and 5
constexpr float kProgrammerWeight = 0.03f;

// Below this share of W the bar stays short of 100 until the last step.
constexpr float kCeiling = 0.99f;

int Int(std::uint64_t value) {
    return static_cast<int>(std::min<std::uint64_t>(value, INT_MAX));
}

}  // namespace

WorkerProgress WorkerProgressOf(FlashRoute route, bool app_image, bool erase_efs,
                                bool firehose_set) {
    WorkerProgress worker;
    worker.tick = firehose_set ? kFirehoseTick : kDownloadModeTick;
    worker.programmer_weight = kProgrammerWeight;
    worker.software_weight = kMultiImageWeight;
    worker.erase_efs_weight = kEraseEfsWeight;
    worker.erase_app_weight = kEraseAppWeight;
    // Added one by one, in the worker's order, so that the single-precision sums agree.
    worker.total = kBaseWeight;
    if (route == FlashRoute::kMulti) {
        worker.total += kMultiOptionWeight;
        for (int part = 0; part < kMultiParts; ++part)
            worker.total += kMultiPartWeight;
        worker.total += kMultiImageWeight;
    } else if (app_image) {
        if (erase_efs)
            worker.total += kEraseEfsWeight;
        worker.total += kEraseAppWeight;
        worker.total += kAppImageWeight;
    }
    return worker;
}

void ProgressReports::Add(float weight, std::uint64_t done, std::uint64_t total) {
    if (total > 0)
        progress_ += weight * static_cast<float>(done) / static_cast<float>(total);
    progress_ += worker_.tick;
}

int ProgressReports::Percentage() const {
    if (worker_.total <= 0)
        return 0;
    return static_cast<int>(100.0f * std::min(progress_ / worker_.total, 1.0f));
}

void ProgressReports::Weighted(int code, std::uint64_t done, std::uint64_t total,
                               std::uint64_t piece, float weight) {
    report_(code, Int(done), Int(total), Int(piece));
    Add(weight, piece, total);
}

void ProgressReports::ReportProgrammer(std::uint64_t sent, std::uint64_t total) {
    const std::uint64_t piece = sent - std::min(sent, programmer_reported_);
    programmer_reported_ = sent;
    Weighted(kProgrammerProgress, sent, total, piece, worker_.programmer_weight);
}

void ProgressReports::Programmer(std::uint64_t sent, std::uint64_t total) {
    if (programmer_reported_ == 0)
        ReportProgrammer(sent, total);
}

void ProgressReports::ProgrammerTaken(std::uint64_t sent, std::uint64_t total) {
    ReportProgrammer(sent, total);
}

float ProgressReports::WholeImageProgress(ImageRow row) const {
    return kBootLoaderWeight + (row == ImageRow::kOemBootLoader ? 0 : worker_.tick);
}

void ProgressReports::WholeImage(ImageRow row, std::uint64_t bytes) {
    report_(kImageProgress, static_cast<int>(row), Int(bytes), Int(bytes));
    progress_ += WholeImageProgress(row);
}

void ProgressReports::Start(std::uint64_t table_bytes, std::uint64_t software_bytes,
                            float still_to_come) {
    for (auto [row, total] :
         {std::pair(&table_, table_bytes), std::pair(&software_, software_bytes)}) {
        *row = Row{};
        row->total = total;
        while (row->total / row->unit > INT_MAX)
            row->unit *= 1024;
    }
    // As many steps with weight as leave the bar short of 100 before the last one.
    const float room = worker_.total * kCeiling - progress_ - still_to_come;
    steps_ = 0;
    for (int k = 1; k < kSteps; ++k) {
        const float before_last =
            worker_.software_weight * static_cast<float>(k) / static_cast<float>(k + 1) +
            worker_.tick * static_cast<float>(k);
        if (before_last >= room)
            break;
        steps_ = k;
    }
    next_step_ = 1;
    weighted_sent_ = 0;
}

void ProgressReports::ReportRow(int code, ImageRow row) {
    Row& r = RowOf(row);
    const std::uint64_t piece = r.done / r.unit - r.reported / r.unit;
    r.reported = r.done;
    report_(code, static_cast<int>(row), Int(piece), Int(r.total / r.unit));
    if (code == kImageProgress && row == ImageRow::kSoftware)
        Add(worker_.software_weight, piece, r.total / r.unit);
}

void ProgressReports::Written(ImageRow row, std::uint64_t bytes) {
    Row& r = RowOf(row);
    r.done += bytes;
    if (row == ImageRow::kPartitionTable) {
        ReportRow(kImageProgress, row);
        return;
    }
    // Text step s ends at s / kSteps of the row (the last is Finish's); the steps with weight
    // fall evenly among them. One write that passes several steps sends one report.
    const int reached = static_cast<int>(
        std::min<std::uint64_t>(kSteps - 1, r.total == 0 ? 0 : r.done * kSteps / r.total));
    if (reached < next_step_)
        return;
    next_step_ = reached + 1;
    int weighted_due = 0;
    while (weighted_due < steps_ && (weighted_due + 1) * kSteps / (steps_ + 1) <= reached)
        ++weighted_due;
    // Writes bigger than a step may bring more than a step's share: the bar must still stay
    // short of 100.
    const float after = progress_ +
                        worker_.software_weight * static_cast<float>(r.done - r.reported) /
                            static_cast<float>(r.total) +
                        worker_.tick;
    if (weighted_due > weighted_sent_ && after < worker_.total * kCeiling) {
        weighted_sent_ = weighted_due;
        ReportRow(kImageProgress, row);
    } else {
        report_(kModuleProgress, Int(r.done / r.unit), Int(r.total / r.unit));
    }
}

void ProgressReports::Failed(ImageRow row) {
    ReportRow(kImageFailed, row);
}

void ProgressReports::Finish() {
    ReportRow(kImageProgress, ImageRow::kSoftware);
    next_step_ = kSteps;
    // A run that uploaded no programmer (it ran already) may need a tick more to fill the bar.
    for (int tick = 0; tick < kSteps && Percentage() < 100; ++tick)
        ReportRow(kImageProgress, ImageRow::kSoftware);
}

}  // namespace fendrel::flashlibs

#include "engine/flash_reports.h"

#include <array>

#include "app/text_lookup.h"
#include "engine/download_thread.h"
#include "engine/status_format.h"

namespace fendrel {
namespace {

enum class Kind { kStatus, kError };
enum class Text { kFixed, kFormat };
enum class Share { kNone, kRam, kEfsErase, kAppErase };

struct StageReport {
    int text_id;
    Text text;
    Kind kind;
    Share share;
};

// Codes 0 to 24, by code.
constexpr std::array<StageReport, 25> kStageReports = {{
    {text::kCanNotFindRamFile, Text::kFixed, Kind::kError, Share::kNone},    // 0
    {text::kDownloadRam, Text::kFormat, Kind::kStatus, Share::kRam},         // 1
    {text::kDownloadRamFail, Text::kFormat, Kind::kError, Share::kNone},     // 2
    {text::kSetBbinfoFail, Text::kFixed, Kind::kError, Share::kNone},        // 3
    {text::kErasingBoot, Text::kFormat, Kind::kStatus, Share::kNone},        // 4
    {text::kEraseBootFail, Text::kFormat, Kind::kError, Share::kNone},       // 5
    {text::kCanNotFindBootFile, Text::kFixed, Kind::kError, Share::kNone},   // 6
    {text::kDownloadingBoot, Text::kFormat, Kind::kStatus, Share::kNone},    // 7
    {text::kDownloadBootFail, Text::kFormat, Kind::kError, Share::kNone},    // 8
    {text::kErasingEfs, Text::kFormat, Kind::kStatus, Share::kEfsErase},     // 9
    {text::kEraseEfsFail, Text::kFormat, Kind::kError, Share::kNone},        // 10
    {text::kErasingChecksum, Text::kFormat, Kind::kStatus, Share::kNone},    // 11
    {text::kEraseChecksumFail, Text::kFormat, Kind::kError, Share::kNone},   // 12
    {text::kErasingApp, Text::kFormat, Kind::kStatus, Share::kAppErase},     // 13
    {text::kEraseAppFail, Text::kFormat, Kind::kError, Share::kNone},        // 14
    {text::kCanNotFindAppFile, Text::kFixed, Kind::kError, Share::kNone},    // 15
    {text::kDownloadApp, Text::kFormat, Kind::kStatus, Share::kNone},        // 16
    {text::kDownloadAppFail, Text::kFormat, Kind::kError, Share::kNone},     // 17
    {text::kWritingChecksum, Text::kFixed, Kind::kStatus, Share::kNone},     // 18
    {text::kWriteChecksumFail, Text::kFixed, Kind::kError, Share::kNone},    // 19
    {text::kWaitPhoneRestart, Text::kFixed, Kind::kStatus, Share::kNone},    // 20
    {text::kRestartPhoneFail, Text::kFixed, Kind::kError, Share::kNone},     // 21
    {text::kDownloadingModule, Text::kFormat, Kind::kStatus, Share::kNone},  // 22
    {text::kDownloadModuleFail, Text::kFormat, Kind::kError, Share::kNone},  // 23
    {text::kRunningRam, Text::kFixed, Kind::kStatus, Share::kNone},          // 24
}};

constexpr int kMissingImageCode = 25;
constexpr int kImageProgressCode = 26;
constexpr int kImageFailureCode = 27;

constexpr float kRamWeight = 0.03f;
// An app erase that also clears the EFS area (the EFS option, no separate EFS erase seen).
constexpr float kAppEraseWithEfsWeight = 0.2f;

constexpr int kNoCounter = -1;

// One image of a multi-image phone. Images with a counter have numbered texts and grow their
// counter by each report's amount; the header images have fixed texts and no counter.
struct ImageReport {
    int missing_text;   // code 25
    int progress_text;  // code 26
    int failure_text;   // code 27
    int counter;        // index of the byte counter, or kNoCounter
    float weight;       // code 26: progress += weight x done / total
    bool tick;          // code 26: tick after adding
};

// Sub-codes 1 to 8, by sub-code.
constexpr std::array<ImageReport, 8> kImageReports = {{
    {text::kNoPartitionTableFile, text::kDownloadingPartitionTable,
     text::kDownloadPartitionTableFail, 0, 0.0f, false},
    {text::kNoPriBootLoaderFile, text::kDownloadingPriBootLoader, text::kDownloadPriBootLoaderFail,
     1, 0.02f, true},
    {text::kNoQcsBootLoaderFile, text::kDownloadingQcsBootLoader, text::kDownloadQcsBootLoaderFail,
     2, 0.02f, true},
    {text::kNoOemBootLoaderFile, text::kDownloadingQcsHeader, text::kDownloadQcsHeaderFail,
     kNoCounter, 0.0f, false},
    {text::kNoQcsHeaderFile, text::kDownloadingOemBootLoader, text::kDownloadOemBootLoaderFail, 3,
     0.02f, false},
    {text::kNoOemHeaderFile, text::kDownloadingOemHeader, text::kDownloadOemHeaderFail, kNoCounter,
     0.0f, false},
    {text::kNoAmssHeaderFile, text::kDownloadingAmss, text::kDownloadAmssFail, 4, 4.0f, true},
    {text::kNoAmssFile, text::kDownloadingAmssHeader, text::kDownloadAmssHeaderFail, kNoCounter,
     0.0f, false},
}};

// weight x done / total, or nothing for a report without a total.
float ShareOf(float weight, int done, int total) {
    if (total == 0)
        return 0.0f;
    return weight * static_cast<float>(done) / static_cast<float>(total);
}

void Show(CDownloadThread& worker, Kind kind, std::string text) {
    if (kind == Kind::kError)
        worker.ShowError(std::move(text));
    else
        worker.ShowStatus(std::move(text));
}

void ApplyStageReport(CDownloadThread& worker, const StageReport& report, int b, int c, int d) {
    std::string text = GetText(report.text_id);
    if (report.text == Text::kFormat)
        text = FormatNumbers(text, {static_cast<unsigned>(b), static_cast<unsigned>(c)});
    Show(worker, report.kind, std::move(text));

    float weight = 0.0f;
    switch (report.share) {
        case Share::kNone:
            return;
        case Share::kRam:
            weight = kRamWeight;
            break;
        case Share::kEfsErase:
            weight = kEraseEfsWeight;
            worker.set_efs_erased();
            break;
        case Share::kAppErase:
            weight = !worker.efs_erased() && worker.params().erase_efs != 0 ? kAppEraseWithEfsWeight
                                                                            : kEraseAppWeight;
            break;
    }
    worker.AddProgress(ShareOf(weight, d, c));
    worker.Tick();
}

void ApplyImageReport(CDownloadThread& worker, int code, int sub_code, int done, int total) {
    if (sub_code < 1 || sub_code > static_cast<int>(kImageReports.size()))
        return;
    const ImageReport& image = kImageReports[static_cast<std::size_t>(sub_code - 1)];
    if (code == kMissingImageCode) {
        worker.ShowError(GetText(image.missing_text));
        return;
    }
    const Kind kind = code == kImageFailureCode ? Kind::kError : Kind::kStatus;
    const int text_id = kind == Kind::kError ? image.failure_text : image.progress_text;
    if (image.counter == kNoCounter) {
        Show(worker, kind, GetText(text_id));
        return;
    }
    const std::uint32_t counter = worker.AddToByteCounter(static_cast<std::size_t>(image.counter),
                                                          static_cast<std::uint32_t>(done));
    Show(worker, kind, FormatNumbers(GetText(text_id), {counter, static_cast<unsigned>(total)}));
    if (kind == Kind::kStatus && image.weight != 0.0f) {
        worker.AddProgress(ShareOf(image.weight, done, total));
        if (image.tick)
            worker.Tick();
    }
}

}  // namespace

void ApplyFlashReport(CDownloadThread& worker, int code, int b, int c, int d) {
    if (code >= 0 && code < static_cast<int>(kStageReports.size())) {
        ApplyStageReport(worker, kStageReports[static_cast<std::size_t>(code)], b, c, d);
    } else if (code >= kMissingImageCode && code <= kImageFailureCode) {
        ApplyImageReport(worker, code, b, c, d);
    } else {
        worker.ShowError(GetText(text::kDownloadFail));
    }
}

}  // namespace fendrel

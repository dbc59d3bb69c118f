#include "engine/progress_model.h"

#include <algorithm>

#include "engine/flash_type.h"
#include "engine/image_folder.h"
#include "ports/port_record.h"

namespace fendrel {
namespace {

// Shares of the total weight. Each is added in this order, in single precision, so the
// percentages come out as they always have.
constexpr float kBaseWeight = 0.03f;
constexpr float kRfBackupWeight = 0.2f;
constexpr float kRfBackupFileWeight = 0.02f;
constexpr float kOtherBackupWeight = 0.1f;
constexpr float kOtherBackupFileWeight = 0.02f;
constexpr float kMultiOptionalWeight = 0.02f;  // when option 15 is off
constexpr float kMultiPartWeight = 0.02f;      // three times
constexpr int kMultiParts = 3;
constexpr float kMultiImageWeight = 4.0f;
constexpr float kAppImageWeight = 1.0f;

constexpr float kSlowModelStepDownload = 0.012f;
constexpr float kSlowModelStepOther = 0.013f;
constexpr float kFirehoseStep = 0.067f;
constexpr float kDownloadStep = 0.012f;
constexpr float kOtherStep = 0.013f;

}  // namespace

void ProgressModel::ComputeTotalWeight(const DOWNLOAD_PARAM& params, bool detected) {
    progress_ = 0.0f;
    total_weight_ = kBaseWeight;
    if (detected && params.backup_rf != 0) {
        total_weight_ += kRfBackupWeight;
        total_weight_ += kRfBackupFileWeight;
    }
    if (detected && params.backup_other != 0) {
        total_weight_ += kOtherBackupWeight;
        total_weight_ += kOtherBackupFileWeight;
    }
    if (IsFlashType(params.flash_type, kFlashTypeMulti)) {
        if (params.extra_weight == 0)
            total_weight_ += kMultiOptionalWeight;
        for (int i = 0; i < kMultiParts; ++i)
            total_weight_ += kMultiPartWeight;
        total_weight_ += kMultiImageWeight;
    } else if (!params.app_path.empty()) {
        if (params.erase_efs != 0)
            total_weight_ += kEraseEfsWeight;
        total_weight_ += kEraseAppWeight;
        total_weight_ += kAppImageWeight;
    }
}

int ProgressModel::Percentage() const {
    if (!(total_weight_ > 0.0f) || !(progress_ >= 0.0f))
        return 0;
    return static_cast<int>(100.0f * std::min(progress_ / total_weight_, 1.0f));
}

float TickStep(std::string_view image_folder, int port_kind, bool firehose_present) {
    if (IsSlowModelFolder(image_folder))
        return port_kind == PORT_KIND_DLOAD ? kSlowModelStepDownload : kSlowModelStepOther;
    if (port_kind == PORT_KIND_DLOAD)
        return firehose_present ? kFirehoseStep : kDownloadStep;
    return kOtherStep;
}

}  // namespace fendrel

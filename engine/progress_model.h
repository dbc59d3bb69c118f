// The progress of one run: a total weight W and a progress P, both single-precision, as the
// pages have always shown it. Every step that does work adds its share to P; the percentage a
// page shows is the integer part of 100 x min(P / W, 1).
#pragma once

#include <string_view>

#include "engine/download_param.h"

namespace fendrel {

// Weights that both the run's total and the flash-library reports use.
inline constexpr float kEraseEfsWeight = 0.15f;  // the plugin erases the EFS area
inline constexpr float kEraseAppWeight = 0.05f;  // the plugin erases the app area

class ProgressModel {
  public:
    // W and P back to 0 (a new run's settings).
    void Clear() { total_weight_ = progress_ = 0.0f; }
    // P := 0 and W := the run's weight, from its settings and whether a phone was detected.
    void ComputeTotalWeight(const DOWNLOAD_PARAM& params, bool detected);
    void Add(float amount) { progress_ += amount; }

    // 0 to 100; 0 while there is no weight yet (and for a progress that is not a number).
    int Percentage() const;

    float total_weight() const { return total_weight_; }
    float progress() const { return progress_; }

  private:
    float total_weight_ = 0.0f;
    float progress_ = 0.0f;
};

// What one tick adds to P: the slow models (M4, T6) and download-mode runs without a firehose
// programmer creep, a download-mode run with one moves fast.
float TickStep(std::string_view image_folder, int port_kind, bool firehose_present);

}  // namespace fendrel

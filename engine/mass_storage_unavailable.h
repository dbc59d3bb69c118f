// The mass-storage route of a station that has none: raw-disk programming (rawprogram0.xml
// through the raw-programming script, against the phone's physical drive) is not part of this
// build. The step says so and fails, so a run that reaches it ends with ERROR instead of claiming
// a phone was written.
#pragma once

#include "engine/mass_storage_route.h"

namespace fendrel {

inline constexpr char kNoMassStorageRoute[] =
    "Raw-disk programming is not available on this station";

class MassStorageUnavailable final : public MassStorageRoute {
  public:
    // Shows kNoMassStorageRoute with STATUS and fails.
    bool Run(CDownloadThread& worker) override;
};

}  // namespace fendrel

#include "engine/mass_storage_unavailable.h"

#include "engine/download_thread.h"

namespace fendrel {

bool MassStorageUnavailable::Run(CDownloadThread& worker) {
    worker.ShowStatus(kNoMassStorageRoute);
    return false;
}

}  // namespace fendrel

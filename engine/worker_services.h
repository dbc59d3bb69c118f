// Everything a worker is given from outside, in one bundle, so that the product and the tests
// wire workers the same way. The referenced objects belong to the caller and must outlive every
// worker made with them; one bundle may serve many workers at once.
#pragma once

#include "engine/channel_factory.h"
#include "engine/flash_library.h"
#include "engine/mass_storage_route.h"
#include "engine/nv_backup_step.h"
#include "engine/serial_link.h"
#include "platform/clock.h"

namespace fendrel {

struct WorkerServices {
    platform::Clock& clock;               // every fixed pause of a run
    ChannelFactory& channels;             // the worker's CDLCmd and CDMCmd
    SerialLinkFactory& serial_links;      // the worker's port and mode operations
    NvBackupStep& nv_backup;              // the NV backup step
    MassStorageRoute& mass_storage;       // the raw-disk route
    FlashLibraryLoader& flash_libraries;  // the flash-download plugins
};

}  // namespace fendrel

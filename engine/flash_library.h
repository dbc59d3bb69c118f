// Finding and calling a flash-download plugin.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/flash_download_abi.h"

namespace fendrel {

// One loaded plugin. Freed (unloaded) when the object goes.
class FlashLibrary {
  public:
    virtual ~FlashLibrary() = default;
    // Calls the plugin's "Download" (see engine/flash_download_abi.h); blocks until it returns.
    virtual int Download(FendrelSerialPort* port, FendrelStopEvent* stop_event, int erase_efs,
                         const char* app_images, const char* boot_images,
                         const char* version_folder, FendrelReportFunction report,
                         void* context) = 0;
};

class FlashLibraryLoader {
  public:
    virtual ~FlashLibraryLoader() = default;
    // Loads the library of that Windows file name ("Emmc.dll"). Null when it cannot be loaded or
    // has no "Download" export, with `error` saying which file was looked for where and why it
    // could not be used. Any thread; each call loads on its own.
    virtual std::unique_ptr<FlashLibrary> Load(std::string_view file_name, std::string& error) = 0;
};

// The product's loader: platform::DynamicLibrary, so a bare name is looked for in the program
// directory first, then along the system's usual paths.
FlashLibraryLoader& PluginFlashLibraries();

}  // namespace fendrel

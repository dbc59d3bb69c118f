#include <utility>

#include "engine/flash_library.h"
#include "platform/dynamic_library.h"

namespace fendrel {
namespace {

class PluginLibrary final : public FlashLibrary {
  public:
    PluginLibrary(platform::DynamicLibrary library, FendrelDownloadFunction download)
        : library_(std::move(library)), download_(download) {}

    int Download(FendrelSerialPort* port, FendrelStopEvent* stop_event, int erase_efs,
                 const char* app_images, const char* boot_images, const char* version_folder,
                 FendrelReportFunction report, void* context) override {
        return download_(port, stop_event, erase_efs, app_images, boot_images, version_folder,
                         report, context);
    }

  private:
    platform::DynamicLibrary library_;
    FendrelDownloadFunction download_;
};

class PluginLoader final : public FlashLibraryLoader {
  public:
    std::unique_ptr<FlashLibrary> Load(std::string_view file_name, std::string& error) override {
        const std::string name = "the flash-download plugin " + std::string(file_name);
        platform::DynamicLibrary library;
        if (!library.Load(file_name)) {
            error = name + " cannot be loaded: " + library.error();
            return nullptr;
        }
        auto* download =
            reinterpret_cast<FendrelDownloadFunction>(library.Symbol(FENDREL_DOWNLOAD_EXPORT));
        if (download == nullptr) {
            error = name + ", loaded from " + library.path() +
                    ", has no \"" FENDREL_DOWNLOAD_EXPORT "\" export";
            return nullptr;
        }
        return std::make_unique<PluginLibrary>(std::move(library), download);
    }
};

}  // namespace

FlashLibraryLoader& PluginFlashLibraries() {
    static PluginLoader loader;
    return loader;
}

}  // namespace fendrel

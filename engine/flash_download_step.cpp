// The flash-library download step of a download-mode run: the images are written by the plugin
// that suits the flash type, over the worker's open port, and its reports become the worker's
// status, messages and progress.
#include "engine/download_thread.h"
#include "engine/flash_reports.h"
#include "engine/flash_type.h"

namespace fendrel {
namespace {

constexpr std::string_view kMultiImageLibrary = "NandMulDL.dll";
constexpr std::string_view kEmmcLibrary = "Emmc.dll";
constexpr std::string_view kNorLibrary = "NorDL.dll";

// Separates the images of one list string.
constexpr char kImageListSeparator = '*';

std::string_view LibraryFor(std::string_view flash_type) {
    if (IsFlashType(flash_type, kFlashTypeMulti))
        return kMultiImageLibrary;
    if (IsFlashType(flash_type, kFlashTypeEmmc))
        return kEmmcLibrary;
    return kNorLibrary;
}

// The path of the settings, then every further entry of the list (entry 0 stands for the path).
std::string ImageListText(const std::string& path, const std::vector<std::string>& list) {
    std::string text = path;
    for (std::size_t i = 1; i < list.size(); ++i) {
        text += kImageListSeparator;
        text += list[i];
    }
    return text;
}

}  // namespace

bool CDownloadThread::RunFlashDownload() {
    if (params_.new_boot != 0 && !CheckBootVersion())
        return false;
    // A plugin that cannot be loaded leaves the status text as it was; the reason goes to the
    // failure detail.
    std::string error;
    const std::unique_ptr<FlashLibrary> library =
        flash_libraries_.Load(LibraryFor(params_.flash_type), error);
    if (!library) {
        SetFailureDetail(std::move(error));
        return false;
    }
    const std::string app_images = ImageListText(params_.app_path, app_images_);
    const std::string boot_images = ImageListText(params_.boot_path, boot_images_);
    return library->Download(link_->port(), &stop_event_, params_.erase_efs, app_images.c_str(),
                             boot_images.c_str(), params_.version_folder.c_str(), &OnFlashReport,
                             this) != 0;
}

void CDownloadThread::OnFlashReport(int code, int b, int c, int d, void* context) {
    try {
        ApplyFlashReport(*static_cast<CDownloadThread*>(context), code, b, c, d);
    } catch (...) {
        // Nothing may unwind through the plugin; a report that cannot be shown is dropped.
    }
}

}  // namespace fendrel

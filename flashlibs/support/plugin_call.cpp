#include "flashlibs/support/plugin_call.h"

#include "platform/event.h"

namespace fendrel::flashlibs {
namespace {

// Separates the images of one list string.
constexpr char kImageListSeparator = '*';

std::vector<std::string> SplitList(const char* text) {
    std::vector<std::string> images;
    if (text == nullptr || *text == '\0')
        return images;
    std::string_view rest(text);
    while (true) {
        const std::size_t separator = rest.find(kImageListSeparator);
        images.emplace_back(rest.substr(0, separator));
        if (separator == std::string_view::npos)
            return images;
        rest.remove_prefix(separator + 1);
    }
}

}  // namespace

PluginCall MakePluginCall(FendrelSerialPort* port, FendrelStopEvent* stop_event, int erase_efs,
                          const char* app_images, const char* boot_images,
                          const char* version_folder, FendrelReportFunction report, void* context) {
    PluginCall call;
    call.port = port;
    call.stop_event = stop_event;
    if (stop_event == nullptr) {
        call.own_stop_event = std::make_shared<platform::ManualResetEvent>();
        call.stop_event = call.own_stop_event.get();
    }
    call.erase_efs = erase_efs != 0;
    call.app_images = SplitList(app_images);
    call.boot_images = SplitList(boot_images);
    call.version_folder = version_folder != nullptr ? version_folder : "";
    call.report = Reporter(report, context);
    return call;
}

}  // namespace fendrel::flashlibs

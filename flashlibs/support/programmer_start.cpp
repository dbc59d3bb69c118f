#include "flashlibs/support/programmer_start.h"

#include "flashlibs/support/ram_programmer.h"
#include "qcom/download_channel.h"
#include "qcom/programmer_upload.h"

namespace fendrel::flashlibs {

bool StartRamProgrammer(const PluginCall& call, const ImageSet& image_set,
                        ProgressReports& progress) {
    std::string error;
    const std::optional<RamProgrammer> programmer = LoadRamProgrammer(image_set, error);
    if (!programmer) {
        call.report(kNoProgrammer);
        return false;
    }
    qcom::DownloadChannel channel(*call.stop_event, platform::SystemClock());
    channel.Attach(*call.port);
    const std::size_t total = programmer->image.size();
    const qcom::ProgrammerUpload upload =
        qcom::UploadProgrammer(channel, programmer->image, programmer->load_address,
                               [&](std::size_t sent) { progress.Programmer(sent, total); });
    DL_RET_E_TYPE result = upload.result;
    if (result == DMSS_SUCCESS) {
        progress.ProgrammerTaken(upload.sent, total);
        result = channel.Go(programmer->start_address);
    }
    channel.Detach();
    if (result == DMSS_SUCCESS) {
        call.report(kProgrammerRunning);
        return true;
    }
    call.report(kProgrammerFailed, static_cast<int>(upload.sent), static_cast<int>(total));
    return false;
}

bool RestartPhone(const PluginCall& call, qcom::StreamingHost& host) {
    call.report(kWaitRestart);
    if (host.Reset() == DMSS_SUCCESS)
        return true;
    call.report(kRestartFailed);
    return false;
}

}  // namespace fendrel::flashlibs

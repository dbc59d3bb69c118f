#include "qcom/programmer_upload.h"

#include <algorithm>

#include "qcom/dmss_protocol.h"

namespace fendrel::qcom {
namespace {

// The bytes per write packet the boot loader takes; none when it cannot be asked.
std::optional<std::size_t> PieceSize(DownloadChannel& channel, DL_RET_E_TYPE& result) {
    DmssParameters parameters;
    result = channel.ReadParameters(parameters);
    if (result == DMSS_REJECTED) {  // a boot loader without the parameter request
        result = DMSS_SUCCESS;
        return kDefaultPiece;
    }
    if (result != DMSS_SUCCESS)
        return std::nullopt;
    if (parameters.largest_write == 0)
        return kDefaultPiece;
    return std::min<std::size_t>(parameters.largest_write, kLargestPiece);
}

bool WithinOlderForm(std::uint32_t load_address, std::size_t size) {
    return std::uint64_t{load_address} + size <= dmss::kWriteAddressLimit;
}

}  // namespace

ProgrammerUpload UploadProgrammer(DownloadChannel& channel, std::span<const std::uint8_t> image,
                                  std::uint32_t load_address,
                                  const std::function<void(std::size_t sent)>& progress) {
    ProgrammerUpload upload;
    upload.result = channel.Nop();
    if (upload.result != DMSS_SUCCESS)
        return upload;
    const std::optional<std::size_t> piece = PieceSize(channel, upload.result);
    if (!piece)
        return upload;

    while (upload.sent < image.size()) {
        const auto address = static_cast<std::uint32_t>(load_address + upload.sent);
        const std::span<const std::uint8_t> data =
            image.subspan(upload.sent, std::min(*piece, image.size() - upload.sent));
        upload.result = channel.Write(upload.form, address, data);
        const bool older_loader = upload.result == DMSS_REJECTED && upload.sent == 0 &&
                                  upload.form == DmssWriteForm::k32Bit &&
                                  channel.last_nak_reason() == dmss::kInvalidCommand &&
                                  WithinOlderForm(load_address, image.size());
        if (older_loader) {
            upload.form = DmssWriteForm::kOlder;
            continue;
        }
        if (upload.result != DMSS_SUCCESS)
            return upload;
        upload.sent += data.size();
        if (progress)
            progress(upload.sent);
    }
    return upload;
}

}  // namespace fendrel::qcom

// The files of a NAND multi-image set, and the image type each is opened as in streaming download
// (qcom/streaming_protocol.h): the partition table goes first, on its own command; then every
// image in this order, those with a header file opening with the header as payload. The modem's
// software, by far the largest, goes last, so that its progress ends the download.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "qcom/streaming_protocol.h"

namespace fendrel::qcom {

inline constexpr std::string_view kPartitionTableFile = "partition.mbn";

struct MultiImageFile {
    std::uint8_t image_type = 0;
    std::string_view image;   // the image file
    std::string_view header;  // its header file, empty for a type without one
    bool required = true;     // every set has it; the others are written where present
};

inline constexpr std::array kMultiImageFiles = {
    MultiImageFile{streaming::kImageQcsblHeader, "qcsblhd_cfgdata.mbn", "", true},
    MultiImageFile{streaming::kImageQcsbl, "qcsbl.mbn", "", true},
    MultiImageFile{streaming::kImageOemsbl, "oemsbl.mbn", "oemsblhd.mbn", true},
    MultiImageFile{streaming::kImageAppsBootLoader, "appsboot.mbn", "appsboothd.mbn", false},
    MultiImageFile{streaming::kImageApps, "apps.mbn", "appshd.mbn", false},
    MultiImageFile{streaming::kImageAmss, "amss.mbn", "amsshd.mbn", true},
};

// The file of `image_type`, or null for a type no set holds.
inline const MultiImageFile* MultiImageFileOf(std::uint8_t image_type) {
    for (const MultiImageFile& file : kMultiImageFiles) {
        if (file.image_type == image_type)
            return &file;
    }
    return nullptr;
}

}  // namespace fendrel::qcom

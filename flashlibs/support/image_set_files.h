// Where a plugin finds an image set's files.
//
// It looks in the version folder the worker passes (argument 6 of Download). For the flash type
// "MULTI" the worker makes that the image folder's VERSION subfolder when the image folder's own
// name does not say "version"; a VERSION folder that lacks a firehose programmer sends the plugin
// to the folder above it, the image folder itself, where the worker also looked for one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fendrel::flashlibs {

struct FirehoseImageSet {
    std::string folder;      // where rawprogram0.xml and the images are looked for
    std::string programmer;  // prog_emmc_firehose_8x26.mbn or _8x10.mbn in it
};

// The image set of a run whose version folder is `version_folder`; none when neither the folder
// nor (for a VERSION folder) the one above holds a firehose programmer.
std::optional<FirehoseImageSet> FindFirehoseImageSet(std::string_view version_folder);

}  // namespace fendrel::flashlibs

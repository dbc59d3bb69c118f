// Where a plugin finds an image set's files, and which kind of set a folder holds.
//
// It looks in the version folder the worker passes (argument 6 of Download). For the flash type
// "MULTI" the worker makes that the image folder's VERSION subfolder when the image folder's own
// name does not say "version"; a VERSION folder that holds no programmer sends the plugin to the
// folder above it, the image folder itself, where the worker also looked for one.
//
// The kind of a set is decided by its programmer, the first of these the folder holds:
//   1. prog_emmc_firehose_8x26.mbn or prog_emmc_firehose_8x10.mbn: a firehose set (eMMC written
//      over Sahara and Firehose);
//   2. MPRG8X25Q or MPRG8X25 (.bin, or .hex alone): an eMMC set for the raw-disk route (the
//      programmer shows the eMMC as a disk, rawprogram0.xml says what goes on it);
//   3. MPRG7627A (.bin, or .hex alone): a NAND multi-image set (partition.mbn and the images of
//      qcom/multi_image_set.h, written over streaming download).
// A folder without any of them holds no set the plugins can write.
//
// A NOR phone's programmer (the "ram file" of the flash type NOR) is the version folder's first
// NPRG*.bin or NPRG*.hex by name, the .bin where both are there (ram_programmer.h: it needs its
// .hex beside it for the load address).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fendrel::flashlibs {

enum class ImageSetKind { kFirehose, kEmmcProgrammer, kNandMultiImage, kNorProgrammer };

struct ImageSet {
    ImageSetKind kind = ImageSetKind::kFirehose;
    std::string folder;      // where the layout and the images are looked for
    std::string programmer;  // its programmer file: the .bin where there is one, else the .hex
    std::string hex;         // the programmer's .hex beside it, empty when there is none
};

// The image set of a run whose version folder is `version_folder`; none when neither the folder
// nor (for a VERSION folder) the one above holds a programmer of the list above.
std::optional<ImageSet> FindImageSet(std::string_view version_folder);

// The NOR programmer in `version_folder`, as an image set of kind kNorProgrammer.
std::optional<ImageSet> FindNorProgrammer(std::string_view version_folder);

}  // namespace fendrel::flashlibs

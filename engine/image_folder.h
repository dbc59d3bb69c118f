// What a run reads from the image folder's name and contents.
#pragma once

#include <string>
#include <string_view>

namespace fendrel {

// The firehose programmers whose presence in the image folder decides a download-mode run's end
// (no mass-storage route, one END) and its progress step.
inline constexpr std::string_view kFirehoseProgrammers[] = {
    "prog_emmc_firehose_8x26.mbn",
    "prog_emmc_firehose_8x10.mbn",
};

// Whether the image folder holds one of the firehose programmers as a readable file. Looks at the
// disk on every call.
bool FirehoseProgrammerPresent(std::string_view image_folder);

// The version folder of a run: for flash type "MULTI" the image folder itself when its name holds
// "sion" or "SION" (it is a version folder already), else the image folder followed by
// "VERSION"; other flash types keep `version_folder` as the page gave it.
std::string ResolveVersionFolder(std::string_view flash_type, std::string_view image_folder,
                                 std::string_view version_folder);

// The folder of the set the raw-disk route writes after a download-mode run: the first of the
// ImageSetFolders (engine/image_set_folders.h) of `version_folder` that holds rawprogram0.xml as a
// readable file; empty when none does. A set written whole by its plugin (NAND streaming download,
// NOR) has none, and its phone shows no disk.
std::string RawProgramSetFolder(std::string_view version_folder);

// Whether the image folder is one of the M4 or T6 models' ("M4", "m4", "T6" or "t6" in its name).
bool IsSlowModelFolder(std::string_view image_folder);

}  // namespace fendrel

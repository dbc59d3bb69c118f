// Uploading a RAM programmer to a phone's boot loader in download mode (DMSS download).
//
// The boot loader is asked for a NOP first (it is there and in step), then for its parameters:
// the largest write it takes. The image goes out in write packets of that many bytes (at most
// kLargestPiece; kDefaultPiece when a boot loader does not know the parameter request) at rising
// addresses from the load address, each answered by ACK. Writes use the 32-bit address form; a
// boot loader that refuses the first of them as an invalid command is an older one and gets the
// older 24-bit form for the whole image, when the image lies within that form's reach. Starting
// the programmer (GO) is the caller's next step.
//
// Blocking: every request waits at most the channel's reply time-out; the stop event ends a wait
// at once. Threads: the channel's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "qcom/download_channel.h"

namespace fendrel::qcom {

inline constexpr std::size_t kDefaultPiece = 1024;
inline constexpr std::size_t kLargestPiece = 4096;

struct ProgrammerUpload {
    DL_RET_E_TYPE result = DMSS_SUCCESS;
    std::size_t sent = 0;  // bytes the boot loader acknowledged
    DmssWriteForm form = DmssWriteForm::k32Bit;
};

// Writes `image` to the boot loader's memory from `load_address` on; `image` must end within the
// 32-bit address space. `progress(sent)` is called after every acknowledged write with the bytes
// acknowledged so far.
ProgrammerUpload UploadProgrammer(DownloadChannel& channel, std::span<const std::uint8_t> image,
                                  std::uint32_t load_address,
                                  const std::function<void(std::size_t sent)>& progress);

}  // namespace fendrel::qcom

// The file behind a simulated phone's flash.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

// Keeps the file at `path` when it exists (a phone's flash outlives its mode changes), creates
// it sparse with `bytes` bytes otherwise. False, with `error` set, when it cannot be made.
bool EnsureDiskImage(const std::string& path, std::uint64_t bytes, std::string& error);

}  // namespace sim

// Finding a short text (the image marker) in a block of bytes, fast enough that searching an
// image costs less than reading it from the system's file cache.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace fendrel {

// The ways of searching, all with the same result: a plain byte search, and vector searches with
// 16- and 32-byte registers on x86-64 processors.
enum class MarkerSearchKernel { kPlain, kSse2, kAvx2 };

// The kernels this build can run on this processor, the fastest last.
std::vector<MarkerSearchKernel> AvailableMarkerSearchKernels();

// Whether `marker` (at least 2 bytes) lies anywhere in `bytes`, searched with the fastest kernel
// available.
bool ContainsMarker(std::span<const unsigned char> bytes, std::string_view marker);
// The same with `kernel`, which must be one of AvailableMarkerSearchKernels().
bool ContainsMarker(std::span<const unsigned char> bytes, std::string_view marker,
                    MarkerSearchKernel kernel);

}  // namespace fendrel

// Android sparse images, as the fastboot client sends an image larger than the device's
// max-download-size: a header, then chunks of raw blocks, fills and holes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/fastboot/partition.h"

namespace fastboot_sim {

bool IsSparseImage(const unsigned char* data, std::size_t size);

// Writes the sparse image into `partition`: the partition takes the image's full size, its raw
// and fill chunks are written, holes keep what the partition held. False with `error` set for a
// malformed image or one larger than `max_size` (nothing is written then).
bool WriteSparseImage(const unsigned char* data, std::size_t size, std::uint64_t max_size,
                      Partition& partition, std::string* error);

}  // namespace fastboot_sim

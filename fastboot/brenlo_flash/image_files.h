// The image files of a request, checked before the library is called: the library refuses a
// folder, an empty file or one too large without a text of its own, so the tool says why first.
#pragma once

#include <string>
#include <vector>

#include "fastboot/brenlo.h"

namespace brenlo::flash_tool {

// One line for each selected image that the library could not load, naming the partition, the
// path and the reason ("boot image 'x.img': is empty"); empty when every image can be loaded.
std::vector<std::string> CheckImages(const flash_request& request);

}  // namespace brenlo::flash_tool

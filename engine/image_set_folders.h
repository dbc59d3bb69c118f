// Where an image set's files are looked for, shared by the worker and the flash-download plugins
// so that both find the same set.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fendrel {

// The folders of the set of a run whose version folder is `version_folder`, in the order they are
// looked in: the version folder itself, and for a folder named "VERSION" (the one the worker
// makes for "MULTI" when the image folder's name does not say "version") the image folder above
// it, where the page put the files. None for an empty version folder.
std::vector<std::string> ImageSetFolders(std::string_view version_folder);

}  // namespace fendrel

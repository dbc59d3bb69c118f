// Which images a run wrote, as one digest a history row can be matched by: two runs from the
// same image set have the same digest, and a set changed in any byte or name has another.
#pragma once

#include <string>
#include <vector>

namespace fendrel::history {

// SHA-256 over the regular files directly in `folder` (not its subfolders) in the order of their
// names, and then over each of `more_files` that is not empty: for each file its name, a zero
// byte, its size as 8 bytes little-endian and its bytes. 64 lower-case hex digits; empty, with
// `error` set, when a file cannot be read. A folder that is not there counts as empty.
std::string ImageSetDigest(const std::string& folder, const std::vector<std::string>& more_files,
                           std::string& error);

}  // namespace fendrel::history

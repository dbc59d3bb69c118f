// Test helper: entries that are not regular files, made in a test's own folder, for checking
// that readers and writers refuse them (never a real device node of the machine).
#pragma once

#include <string>

namespace fendrel::testing {

// A FIFO at `path` that no process writes to: opening it for reading would wait for ever.
void MakeFifo(const std::string& path);
// A socket file at `path` (the socket itself is closed again; the entry stays).
void MakeSocket(const std::string& path);

}  // namespace fendrel::testing

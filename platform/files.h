// Whole-file reads and crash-safe whole-file writes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The bytes of the file, or none when it cannot be opened or read (a folder, no access).
std::optional<std::string> ReadFileBytes(const std::string& path);

// How far a write must have gone before it counts as done.
enum class Durability {
    kOnDisk,       // flushed to the disk: survives a power cut
    kInFileCache,  // in the system's file cache: for files made again from their source anyway
};

// Replaces (or creates) `path` with `bytes` so that the file under that name is always either
// the old one or the whole new one: the bytes go to a temporary file in the same folder, are
// flushed to disk (unless `durability` says otherwise), and the temporary file is renamed over
// `path`. An existing file's permissions are kept. On failure nothing under `path` changes, the
// temporary file is removed and `error` (when given) says why.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* error = nullptr, Durability durability = Durability::kOnDisk);

}  // namespace platform

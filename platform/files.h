// Whole-file reads and crash-safe whole-file writes.
#pragma once

#include <functional>
#include <memory>
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

// A file that is built piece by piece under a temporary name in the folder of its final name and
// moved into place only when whole, so the final name never shows a partial file. Used by one
// thread; nothing in it blocks beyond the disk writes themselves.
class StagedFile {
  public:
    // Without a successful Commit the temporary file is removed; the final name is untouched.
    virtual ~StagedFile() = default;

    // Appends `bytes` to the temporary file. False when the write fails (error() says why);
    // the file can then only be dropped: Commit refuses it.
    virtual bool Append(std::string_view bytes) = 0;

    // Flushes the temporary file to disk (as far as its durability asks) and renames it over the
    // final name, keeping the permissions of a file already there. False when any of that fails
    // (error() says why): the temporary file is then removed and the final name keeps what it had.
    virtual bool Commit() = 0;

    virtual const std::string& error() const = 0;
};

// Creates the temporary file of a staged file for `path`; null when it cannot be created
// (no such folder, no room, no access), with `error` (when given) saying why.
std::unique_ptr<StagedFile> CreateStagedFile(const std::string& path, std::string* error = nullptr,
                                             Durability durability = Durability::kOnDisk);

// How a writer gets its staged files: CreateStagedFile in the product (durable), a failing one
// in tests.
using StagedFileOpener =
    std::function<std::unique_ptr<StagedFile>(const std::string& path, std::string* error)>;

}  // namespace platform

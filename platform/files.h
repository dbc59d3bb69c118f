// Input files read whole or in blocks, and crash-safe whole-file writes.
//
// The station and its tools read and replace regular files only. A path that names anything
// else (a folder, a device, a FIFO, a socket) is refused with a text that says so: it is looked
// at before it is opened, so nothing waits for a FIFO's writer or acts on a device, and nothing
// reads on and on from a device such as /dev/zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A regular file open for reading. Used by one thread.
class InputFile {
  public:
    virtual ~InputFile() = default;

    // The file's length when it was opened.
    virtual std::uint64_t size() const = 0;

    // Reads up to `length` bytes at the current position; fewer only where the file ends. The
    // number read, or none when the read fails (error() says why).
    virtual std::optional<std::size_t> Read(void* buffer, std::size_t length) = 0;

    // Reads exactly `length` bytes at `offset`; false when the read fails or the file ends
    // first (error() says why). The current position stays where it was.
    virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) = 0;

    virtual const std::string& error() const = 0;
};

// Opens the regular file at `path` (or the file a symbolic link there points to); null when the
// path names anything else or the file cannot be opened, with `error` (when given) saying why.
std::unique_ptr<InputFile> OpenInputFile(const std::string& path, std::string* error = nullptr);

// The bytes of the regular file at `path`, which may hold at most `max_size` of them: each reader
// names the bound its format allows. None, with `error` (when given) saying why, when the path is
// refused as by OpenInputFile, the file cannot be read, or it is longer than `max_size`. A file
// whose length the system does not know ahead (as those under /proc) is read to its end.
std::optional<std::string> ReadFileBytes(const std::string& path, std::size_t max_size,
                                         std::string* error = nullptr);

// How far a write must have gone before it counts as done.
enum class Durability {
    kOnDisk,       // flushed to the disk: survives a power cut
    kInFileCache,  // in the system's file cache: for files made again from their source anyway
};

// Replaces (or creates) `path` with `bytes` so that the file under that name is always either
// the old one or the whole new one: the bytes go to a temporary file in the same folder, are
// flushed to disk (unless `durability` says otherwise), and the temporary file is renamed over
// `path`. An existing file's permissions are kept. A symbolic link stays a link: the file it
// points to is the one replaced (or created, when the link points at no file yet). A path that
// names anything but a regular file is refused. On failure nothing under `path` changes, the
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

// Creates the temporary file of a staged file for `path`, in the folder of the file it will
// replace: `path` itself, or the file a symbolic link there points to (the link stays a link).
// Null when `path` names anything but a regular file or a file not there yet, or when the
// temporary file cannot be created (no such folder, no room, no access), with `error` (when
// given) saying why.
std::unique_ptr<StagedFile> CreateStagedFile(const std::string& path, std::string* error = nullptr,
                                             Durability durability = Durability::kOnDisk);

// How a writer gets its staged files: CreateStagedFile in the product (durable), a failing one
// in tests.
using StagedFileOpener =
    std::function<std::unique_ptr<StagedFile>(const std::string& path, std::string* error)>;

}  // namespace platform

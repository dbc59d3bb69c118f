// Input files and staged files on Windows.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/files.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

bool Fail(std::string* error, const std::string& what) {
    if (error != nullptr)
        *error = LastErrorText(what);
    return false;
}

bool Refuse(std::string* error, std::string text) {
    if (error != nullptr)
        *error = std::move(text);
    return false;
}

// A name of the device namespace ("\\.\COM3", "\\.\PhysicalDrive1", "\\?\GLOBALROOT\...") or a
// reserved device name that every folder holds ("NUL", "COM1"), which opens a device, not a file.
bool NamesDevice(const std::string& path) {
    if (path.starts_with("\\\\.\\") || path.starts_with("//./") ||
        path.starts_with("\\\\?\\GLOBALROOT"))
        return true;
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH && std::string_view(full).starts_with("\\\\.\\");
}

std::string FolderOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos)
        return ".";
    return path.substr(0, separator + 1);
}

// The file a write to `path` replaces: `path` itself, or the file a symbolic link there points
// to; a name where nothing is yet is a new file. None, with `error` set, for anything else.
std::optional<std::string> WriteTarget(const std::string& path, std::string* error) {
    if (NamesDevice(path)) {
        Refuse(error, "cannot write " + path + ": it is a device, not a regular file");
        return std::nullopt;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD failure = GetLastError();
        if (failure == ERROR_FILE_NOT_FOUND)
            return path;
        Refuse(error, "cannot write " + path + ": " + WindowsErrorText(failure));
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        Refuse(error, "cannot write " + path + ": it is a folder, not a regular file");
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return path;
    // A link: the file it leads to is replaced, in its own folder.
    HANDLE file =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail(error, "cannot follow the link " + path);
        return std::nullopt;
    }
    char final_path[MAX_PATH] = {};
    const DWORD length =
        GetFinalPathNameByHandleA(file, final_path, MAX_PATH, FILE_NAME_NORMALIZED);
    CloseHandle(file);
    if (length == 0 || length >= MAX_PATH) {
        Refuse(error, "cannot follow the link " + path);
        return std::nullopt;
    }
    std::string target(final_path, length);
    if (target.starts_with("\\\\?\\"))
        target.erase(0, 4);
    return target;
}

class WindowsInputFile final : public InputFile {
  public:
    WindowsInputFile(std::string path, HANDLE file, std::uint64_t size)
        : path_(std::move(path)), file_(file), size_(size) {}
    ~WindowsInputFile() override { CloseHandle(file_); }
    WindowsInputFile(const WindowsInputFile&) = delete;
    WindowsInputFile& operator=(const WindowsInputFile&) = delete;

    std::uint64_t size() const override { return size_; }

    std::optional<std::size_t> Read(void* buffer, std::size_t length) override {
        auto* bytes = static_cast<unsigned char*>(buffer);
        std::size_t got = 0;
        while (got < length) {
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(length - got, 1u << 30));
            DWORD count = 0;
            if (!ReadFile(file_, bytes + got, piece, &count, nullptr)) {
                Fail(&error_, "cannot read " + path_);
                return std::nullopt;
            }
            if (count == 0)
                break;
            got += count;
        }
        return got;
    }

    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) override {
        auto* bytes = static_cast<unsigned char*>(buffer);
        // A positioned read moves the file pointer: put it back afterwards.
        LARGE_INTEGER here{};
        LARGE_INTEGER zero{};
        if (!SetFilePointerEx(file_, zero, &here, FILE_CURRENT))
            return Fail(&error_, "cannot read " + path_);
        bool ok = true;
        std::size_t got = 0;
        while (ok && got < length) {
            const std::uint64_t at = offset + got;
            OVERLAPPED position{};
            position.Offset = static_cast<DWORD>(at);
            position.OffsetHigh = static_cast<DWORD>(at >> 32);
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(length - got, 1u << 30));
            DWORD count = 0;
            if (!ReadFile(file_, bytes + got, piece, &count, &position) &&
                GetLastError() != ERROR_HANDLE_EOF) {
                ok = Fail(&error_, "cannot read " + path_);
            } else if (count == 0) {
                ok = Refuse(&error_, "cannot read " + path_ + ": it ends before byte " +
                                         std::to_string(offset + length));
            }
            got += count;
        }
        SetFilePointerEx(file_, here, nullptr, FILE_BEGIN);
        return ok;
    }

    const std::string& error() const override { return error_; }

  private:
    const std::string path_;
    const HANDLE file_;
    const std::uint64_t size_;
    std::string error_;
};

class WindowsStagedFile final : public StagedFile {
  public:
    WindowsStagedFile(std::string path, std::string temporary, HANDLE file, Durability durability)
        : path_(std::move(path)),
          temporary_(std::move(temporary)),
          file_(file),
          flush_(durability == Durability::kOnDisk) {}

    ~WindowsStagedFile() override {
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
        if (!committed_)
            DeleteFileA(temporary_.c_str());
    }

    bool Append(std::string_view bytes) override {
        if (file_ == INVALID_HANDLE_VALUE)
            return false;
        while (!bytes.empty()) {
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
            DWORD written = 0;
            if (!WriteFile(file_, bytes.data(), piece, &written, nullptr) || written == 0) {
                Fail(&error_, "cannot write " + temporary_);
                // What is in the file now is not what the caller meant: it is never committed.
                CloseHandle(file_);
                file_ = INVALID_HANDLE_VALUE;
                return false;
            }
            bytes.remove_prefix(written);
        }
        return true;
    }

    bool Commit() override {
        if (file_ == INVALID_HANDLE_VALUE)
            return false;
        bool ok = !flush_ || FlushFileBuffers(file_);
        if (!ok)
            Fail(&error_, "cannot write " + temporary_);
        if (!CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE)) && ok)
            ok = Fail(&error_, "cannot write " + temporary_);
        if (!ok)
            return false;
        const DWORD flags = MOVEFILE_REPLACE_EXISTING | (flush_ ? MOVEFILE_WRITE_THROUGH : 0);
        if (!MoveFileExA(temporary_.c_str(), path_.c_str(), flags))
            return Fail(&error_, "cannot rename " + temporary_ + " to " + path_);
        committed_ = true;
        return true;
    }

    const std::string& error() const override { return error_; }

  private:
    const std::string path_;  // the file replaced: the end of a link
    const std::string temporary_;
    HANDLE file_;  // INVALID_HANDLE_VALUE once closed
    const bool flush_;
    bool committed_ = false;
    std::string error_;
};

}  // namespace

std::unique_ptr<InputFile> OpenInputFile(const std::string& path, std::string* error) {
    // Looked at before it is opened: opening a device acts on it (a serial port raises its
    // control lines), and a pipe would wait for its writer.
    if (NamesDevice(path)) {
        Refuse(error, path + " is a device, not a regular file");
        return nullptr;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Fail(error, "cannot open " + path);
        return nullptr;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        Refuse(error, path + " is a folder, not a regular file");
        return nullptr;
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail(error, "cannot open " + path);
        return nullptr;
    }
    // What was opened is looked at again: only a file on a disk is a regular file.
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        Refuse(error, path + " is a device, not a regular file");
        CloseHandle(file);
        return nullptr;
    }
    return std::make_unique<WindowsInputFile>(path, file,
                                              static_cast<std::uint64_t>(size.QuadPart));
}

std::unique_ptr<StagedFile> CreateStagedFile(const std::string& path, std::string* error,
                                             Durability durability) {
    std::optional<std::string> target = WriteTarget(path, error);
    if (!target)
        return nullptr;
    char temporary[MAX_PATH] = {};
    if (GetTempFileNameA(FolderOf(*target).c_str(), "fdl", 0, temporary) == 0) {
        Fail(error, "cannot create a temporary file beside " + *target);
        return nullptr;
    }
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail(error, "cannot create a temporary file beside " + *target);
        DeleteFileA(temporary);
        return nullptr;
    }
    return std::make_unique<WindowsStagedFile>(std::move(*target), temporary, file, durability);
}

}  // namespace platform

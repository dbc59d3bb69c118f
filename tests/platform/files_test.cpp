// Input files and crash-safe writes: only regular files are read or replaced, reads stay within
// their bound, and a write through a symbolic link replaces the file it points to.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "tests/support/special_files.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using fendrel::testing::MakeFifo;
using fendrel::testing::MakeSocket;
using fendrel::testing::ReadFile;
using fendrel::testing::TempDir;
using fendrel::testing::WriteFile;

constexpr std::size_t kBound = 1024;

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

TEST(Files, AtomicWriteReplacesAndKeepsPermissions) {
    TempDir dir;
    const std::string path = dir.File("f");
    ASSERT_TRUE(WriteFileAtomically(path, "one"));
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(WriteFileAtomically(path, "two"));
    EXPECT_EQ(ReadFile(path), "two");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(Files, FailedWriteLeavesNothingBehind) {
    std::string error;
    EXPECT_FALSE(WriteFileAtomically("/nonexistent-folder/f", "x", &error));
    EXPECT_NE(error.find("/nonexistent-folder/f"), std::string::npos);
}

std::size_t EntriesIn(const std::string& folder) {
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++entries;
    return entries;
}

TEST(Files, StagedFileTakesItsNameOnlyWhenCommitted) {
    TempDir dir;
    const std::string path = dir.File("f");
    ASSERT_TRUE(WriteFileAtomically(path, "old"));
    const std::unique_ptr<StagedFile> file = CreateStagedFile(path);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->Append("n"));
    ASSERT_TRUE(file->Append("ew"));
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(EntriesIn(dir.path()), 2u);  // the temporary file beside it
    ASSERT_TRUE(file->Commit());
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(Files, DroppedStagedFileLeavesNothingBehind) {
    TempDir dir;
    const std::string path = dir.File("f");
    ASSERT_TRUE(WriteFileAtomically(path, "old"));
    CreateStagedFile(path)->Append("new");
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(EntriesIn(dir.path()), 1u);

    std::string error;
    EXPECT_EQ(CreateStagedFile(dir.File("missing/f"), &error), nullptr);
    EXPECT_NE(error.find("missing/f"), std::string::npos);
}

// A real write failure: the process may not grow a file past 4 bytes.
TEST(Files, StagedFileThatFailedToWriteIsNeverCommitted) {
    TempDir dir;
    const std::string path = dir.File("f");
    ASSERT_TRUE(WriteFileAtomically(path, "old"));
    const std::unique_ptr<StagedFile> file = CreateStagedFile(path);
    ASSERT_NE(file, nullptr);

    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous_handler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool appended = file->Append("longer than four bytes");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous_handler);

    EXPECT_FALSE(appended);
    EXPECT_NE(file->error().find("cannot write"), std::string::npos);
    EXPECT_FALSE(file->Commit());
    EXPECT_EQ(ReadFile(path), "old");
}

// Every kind of entry that is not a regular file is refused at once, saying what it is: reading
// on would wait for ever (a FIFO without writer) or never end (/dev/zero).
TEST(InputFiles, OnlyRegularFilesAreRead) {
    TempDir dir;
    MakeFifo(dir.File("fifo"));
    MakeSocket(dir.File("socket"));
    fs::create_symlink(dir.File("fifo"), dir.File("link to fifo"));
    const std::pair<std::string, std::string_view> refused[] = {
        {dir.path(), "is a folder, not a regular file"},
        {dir.File("fifo"), "is a FIFO, not a regular file"},
        {dir.File("link to fifo"), "is a FIFO, not a regular file"},
        {dir.File("socket"), "is a socket, not a regular file"},
        {"/dev/zero", "is a character device, not a regular file"},
        {dir.File("missing"), "cannot open"},
    };
    for (const auto& [path, why] : refused) {
        SCOPED_TRACE(path);
        std::string error;
        EXPECT_EQ(OpenInputFile(path, &error), nullptr);
        EXPECT_TRUE(Contains(error, path) && Contains(error, why)) << error;
        error.clear();
        EXPECT_FALSE(ReadFileBytes(path, kBound, &error));
        EXPECT_TRUE(Contains(error, why)) << error;
    }
}

TEST(InputFiles, WholeReadsStopAtTheirBound) {
    TempDir dir;
    WriteFile(dir.File("at bound"), std::string(kBound, 'a'));
    WriteFile(dir.File("over bound"), std::string(kBound + 1, 'a'));
    fs::create_symlink("at bound", dir.File("link"));
    EXPECT_EQ(ReadFileBytes(dir.File("at bound"), kBound), std::string(kBound, 'a'));
    EXPECT_EQ(ReadFileBytes(dir.File("link"), kBound), std::string(kBound, 'a'));
    std::string error;
    EXPECT_FALSE(ReadFileBytes(dir.File("over bound"), kBound, &error));
    EXPECT_TRUE(Contains(error, "is longer than 1024 bytes")) << error;
    // A file whose length the system gives as 0 is still read to its end, within the bound.
    const auto stat = ReadFileBytes("/proc/self/stat", kBound);
    ASSERT_TRUE(stat);
    EXPECT_TRUE(Contains(*stat, std::to_string(getpid()) + " (")) << *stat;
    EXPECT_FALSE(ReadFileBytes("/proc/self/stat", 4));
}

TEST(InputFiles, ReadsInBlocksAndAtOffsets) {
    TempDir dir;
    WriteFile(dir.File("f"), "0123456789");
    const std::unique_ptr<InputFile> file = OpenInputFile(dir.File("f"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->size(), 10u);
    char bytes[8] = {};
    EXPECT_EQ(file->Read(bytes, 4), 4u);
    EXPECT_EQ(std::string(bytes, 4), "0123");
    ASSERT_TRUE(file->ReadAt(8, bytes, 2));
    EXPECT_EQ(std::string(bytes, 2), "89");
    EXPECT_FALSE(file->ReadAt(9, bytes, 2));
    EXPECT_TRUE(Contains(file->error(), "ends before byte 11")) << file->error();
    EXPECT_EQ(file->Read(bytes, 8), 6u);  // on from where the last Read stopped
    EXPECT_EQ(std::string(bytes, 6), "456789");
    EXPECT_EQ(file->Read(bytes, 8), 0u);
}

// A write through a link leaves the link a link and replaces the file it points to, in that
// file's own folder; a chain of links is followed to its end.
TEST(AtomicWrites, GoThroughLinksToTheirFile) {
    TempDir dir;
    const std::string target = dir.File("elsewhere/hive.reg");
    WriteFile(target, "old");
    chmod(target.c_str(), 0640);
    fs::create_directory(dir.File("store"));
    fs::create_symlink("../elsewhere/hive.reg", dir.File("store/second"));  // relative
    fs::create_symlink(dir.File("store/second"), dir.File("store/hive.reg"));

    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir.File("store/hive.reg"), "new", &error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir.File("store/hive.reg")));
    EXPECT_TRUE(fs::is_symlink(dir.File("store/second")));
    EXPECT_EQ(ReadFile(target), "new");
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(EntriesIn(dir.File("store")), 2u);
    EXPECT_EQ(EntriesIn(dir.File("elsewhere")), 1u);
}

// A link that points at no file yet: the file it names is created, as a write through a link
// always does, and the link stays. A link into a missing folder fails and leaves nothing.
TEST(AtomicWrites, CreateTheFileADanglingLinkNames) {
    TempDir dir;
    fs::create_symlink(dir.File("target"), dir.File("link"));
    ASSERT_TRUE(WriteFileAtomically(dir.File("link"), "made"));
    EXPECT_TRUE(fs::is_symlink(dir.File("link")));
    EXPECT_EQ(ReadFile(dir.File("target")), "made");

    fs::create_symlink(dir.File("no folder/target"), dir.File("broken"));
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(dir.File("broken"), "x", &error));
    EXPECT_TRUE(Contains(error, "no folder/target")) << error;
    EXPECT_TRUE(fs::is_symlink(dir.File("broken")));
    EXPECT_EQ(EntriesIn(dir.path()), 3u);
}

TEST(AtomicWrites, RefuseWhatIsNoRegularFile) {
    TempDir dir;
    MakeFifo(dir.File("fifo"));
    MakeSocket(dir.File("socket"));
    fs::create_directory(dir.File("folder"));
    fs::create_symlink(dir.File("fifo"), dir.File("link to fifo"));
    fs::create_symlink(dir.File("loop"), dir.File("loop"));
    const std::pair<std::string, std::string_view> refused[] = {
        {"fifo", "fifo: it is a FIFO, not a regular file"},
        {"link to fifo", "fifo: it is a FIFO, not a regular file"},
        {"socket", "socket: it is a socket, not a regular file"},
        {"folder", "folder: it is a folder, not a regular file"},
        {"loop", "symbolic links in a row"},
    };
    for (const auto& [name, why] : refused) {
        SCOPED_TRACE(name);
        std::string error;
        EXPECT_FALSE(WriteFileAtomically(dir.File(name), "x", &error));
        EXPECT_TRUE(Contains(error, why)) << error;
        EXPECT_EQ(CreateStagedFile(dir.File(name)), nullptr);
    }
    EXPECT_TRUE(fs::is_fifo(dir.File("fifo")));
    EXPECT_TRUE(fs::is_socket(dir.File("socket")));
    EXPECT_TRUE(fs::is_empty(dir.File("folder")));
    EXPECT_EQ(EntriesIn(dir.path()), 5u);  // no temporary file left
}

}  // namespace
}  // namespace platform

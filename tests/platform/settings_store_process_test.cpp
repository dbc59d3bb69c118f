// The settings store across processes: what one process wrote, the next one reads, and two
// processes changing one hive at once lose nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "platform/settings_store.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

using fendrel::testing::TempDir;

constexpr std::string_view kFendrel = "SOFTWARE\\Fendrel";

// Runs `body` in a child process; its exit status is 0 when body returned true.
pid_t Spawn(const std::function<bool()>& body) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body() ? 0 : 1);
    return pid;
}

// A private folder in memory where the system offers one (/dev/shm), else in the temporary
// folder: the test is about the lock, and two thousand flushes to a busy disk only make it slow.
class MemoryFolder {
  public:
    MemoryFolder() {
        std::string pattern = "/dev/shm/fendrel-test-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr)
            path_ = pattern + "/";
    }
    ~MemoryFolder() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    std::string File(std::string_view name) const {
        return path_.empty() ? fallback_.File(name) : path_ + std::string(name);
    }

  private:
    std::string path_;
    TempDir fallback_;
};

bool Succeeded(pid_t pid) {
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST(SettingsStoreProcesses, ValuesSurviveTheProcessThatWroteThem) {
    TempDir dir;
    const std::string folder = dir.File("registry");
    ASSERT_TRUE(Succeeded(Spawn([&] {
        const SettingsStore store(folder);
        if (!store.CreateKey(Hive::kLocalMachine, kFendrel))
            return false;
        auto key = store.OpenKey(Hive::kLocalMachine, kFendrel);
        return key && key->SetDword("iPass", 12) && key->SetString("sPath", "/srv/images/");
    })));

    auto key = SettingsStore(folder).OpenKey(Hive::kLocalMachine, kFendrel);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->QueryDword("iPass"), 12u);
    EXPECT_EQ(key->QueryString("sPath"), "/srv/images/");
}

TEST(SettingsStoreProcesses, ConcurrentIncrementsAreNeverLost) {
    constexpr int kProcesses = 2;
    constexpr int kIncrementsEach = 1000;
    const MemoryFolder dir;
    const SettingsStore store(dir.File("registry"));
    ASSERT_TRUE(store.CreateKey(Hive::kLocalMachine, kFendrel));
    // Each process also writes a value of its own, so a lost write of the whole file shows too.
    std::vector<pid_t> children;
    for (int process = 0; process < kProcesses; ++process) {
        children.push_back(Spawn([&, process] {
            auto key = store.OpenKey(Hive::kLocalMachine, kFendrel);
            for (int i = 0; key && i < kIncrementsEach; ++i) {
                if (!key->IncrementDword("iPass") ||
                    !key->SetDword("last" + std::to_string(process), static_cast<unsigned>(i)))
                    return false;
            }
            return key.has_value();
        }));
    }
    for (const pid_t child : children)
        EXPECT_TRUE(Succeeded(child));

    auto key = store.OpenKey(Hive::kLocalMachine, kFendrel);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->QueryDword("iPass"), static_cast<unsigned>(kProcesses * kIncrementsEach));
    for (int process = 0; process < kProcesses; ++process)
        EXPECT_EQ(key->QueryDword("last" + std::to_string(process)), kIncrementsEach - 1u);
}

}  // namespace
}  // namespace platform

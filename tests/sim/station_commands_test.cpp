// The programs as a technician runs them: fendrel-sim plugs phones, fendrel-cli setup prepares
// the registry and fendrel-cli ports lists what it finds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

using fendrel::testing::TempDir;

constexpr int kArrivesMs = 10000;

// fendrel-sim as a child process, its standard input and output on pipes.
class Simulator {
  public:
    Simulator(const std::string& folder, std::vector<std::string> modes) {
        int input[2], output[2];
        EXPECT_EQ(pipe2(input, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(output, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        std::vector<std::string> words = {FENDREL_SIM_PATH, "--dir", folder};
        words.insert(words.end(), modes.begin(), modes.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, FENDREL_SIM_PATH, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        close(output[1]);
        to_ = input[1];
        from_ = output[0];
    }
    ~Simulator() {
        close(to_);
        close(from_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Everything it printed up to and including the line `last`, or what came before it fell
    // silent or ended.
    std::string ReadUntil(const std::string& last) {
        while (text_.find(last + "\n") == std::string::npos) {
            pollfd entry{from_, POLLIN, 0};
            char chunk[512];
            if (poll(&entry, 1, kArrivesMs) <= 0)
                break;
            const ssize_t got = read(from_, chunk, sizeof chunk);
            if (got <= 0)
                break;
            text_.append(chunk, static_cast<std::size_t>(got));
        }
        std::string printed;
        printed.swap(text_);
        return printed;
    }
    void Send(const std::string& line) {
        const std::string text = line + "\n";
        EXPECT_EQ(write(to_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // Its exit status once it has ended by itself.
    int Wait() {
        int status = -1;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int to_ = -1;
    int from_ = -1;
    std::string text_;
};

// fendrel-cli's standard output and error for `arguments`, with the simulator's tree and a
// registry folder of the test's.
std::string Cli(const TempDir& dir, const std::string& arguments,
                const std::string& program = FENDREL_CLI_PATH) {
    const std::string command = "FENDREL_SYSFS_ROOT='" + dir.File("station/sys") +
                                "' FENDREL_REGISTRY_DIR='" + dir.File("registry") + "' '" +
                                program + "' " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char chunk[512];
    std::size_t got;
    while (pipe != nullptr && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    if (pipe != nullptr)
        pclose(pipe);
    return output;
}

TEST(StationCommands, SimulatedPhonesAreSetUpListedAndUnplugged) {
    TempDir dir;
    Simulator simulator(dir.File("station"), {"normal", "download", "disk"});
    const std::string plugged = simulator.ReadUntil("ready");
    ASSERT_NE(plugged.find("phone 3 at USB 1-3: ttyUSB3=/dev/pts/"), std::string::npos) << plugged;
    EXPECT_NE(plugged.find("sda=" + dir.File("station/disks/phone3.img")), std::string::npos);

    EXPECT_NE(Cli(dir, "setup").find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Ostrel\\BootFileList"),
              std::string::npos);
    const std::string listed = Cli(dir, "ports");
    EXPECT_EQ(listed.rfind("PORT     TYPE         KIND       NODE\n", 0), 0u) << listed;
    EXPECT_NE(listed.find("COM1     UART         0 diag     /dev/pts/"), std::string::npos);
    EXPECT_NE(listed.find("COM3     UART         1 download /dev/pts/"), std::string::npos);
    EXPECT_NE(listed.find("COM4     UART         2 storage  /dev/pts/"), std::string::npos);

    simulator.Send("unplug 2");
    EXPECT_NE(simulator.ReadUntil("phone 2 unplugged").find("phone 2 unplugged"),
              std::string::npos);
    const std::string after = Cli(dir, "ports");
    EXPECT_EQ(after.find("COM3"), std::string::npos) << after;
    EXPECT_NE(after.find("COM4"), std::string::npos) << after;

    simulator.Send("quit");
    EXPECT_EQ(simulator.Wait(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("station/sys/class/tty")));
}

TEST(StationCommands, BadCommandLinesAndABrokenConfigurationAreRefused) {
    TempDir dir;
    EXPECT_NE(Cli(dir, "ports extra").find("usage: fendrel-cli ports"), std::string::npos);
    EXPECT_NE(Cli(dir, "setup extra").find("usage: fendrel-cli setup"), std::string::npos);
    Simulator simulator(dir.File("station"), {"sideways"});
    EXPECT_EQ(simulator.Wait(), 2);

    // A copy of the program beside a config.ini whose integrity line does not match.
    std::filesystem::create_directories(dir.File("program"));
    std::filesystem::copy_file(FENDREL_CLI_PATH, dir.File("program/fendrel-cli"));
    fendrel::testing::WriteFile(dir.File("program/config.ini"),
                                "[DEVICEINFO]\nIsUSBSize=0\nFILECODE:0000\n");
    EXPECT_EQ(Cli(dir, "ports", dir.File("program/fendrel-cli")),
              "The config file is broken,please reinstall software!\n");
}

}  // namespace

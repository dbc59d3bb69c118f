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
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/phones/nor_programmer.h"
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

// The standard output of the shell command line `command`.
std::string Output(const std::string& command, int* exit_status) {
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char chunk[512];
    std::size_t got;
    while (pipe != nullptr && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    if (exit_status != nullptr)
        *exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

// The shell command line of fendrel-cli with `arguments`, the simulator's tree and a registry
// folder of the test's.
std::string CliCommand(const TempDir& dir, const std::string& arguments,
                       const std::string& program) {
    return "FENDREL_SYSFS_ROOT='" + dir.File("station/sys") + "' FENDREL_REGISTRY_DIR='" +
           dir.File("registry") + "' '" + program + "' " + arguments;
}

// fendrel-cli's standard output and error for `arguments`.
std::string Cli(const TempDir& dir, const std::string& arguments,
                const std::string& program = FENDREL_CLI_PATH, int* exit_status = nullptr) {
    return Output(CliCommand(dir, arguments, program) + " 2>&1", exit_status);
}

TEST(StationCommands, SimulatedPhonesAreSetUpListedAndUnplugged) {
    TempDir dir;
    Simulator simulator(dir.File("station"), {"--disk-mib", "8", "normal", "download", "disk"});
    const std::string plugged = simulator.ReadUntil("ready");
    ASSERT_NE(plugged.find("phone 3 at USB 1-3: ttyUSB3=/dev/pts/"), std::string::npos) << plugged;
    EXPECT_NE(plugged.find("sda=" + dir.File("station/disks/phone3.img")), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(dir.File("station/disks/phone3.img")), 8u << 20);

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

TEST(StationCommands, InfoAndToDownloadTalkToTheSimulatedPhones) {
    TempDir dir;
    Simulator simulator(dir.File("station"), {"--esn", "1234abcd", "normal", "normal", "download"});
    simulator.ReadUntil("ready");
    EXPECT_NE(Cli(dir, "ports").find("COM5     UART         1 download"), std::string::npos);

    const std::string normal = Cli(dir, "info COM1");
    EXPECT_NE(normal.find("ESN          0x1234ABCD\nmode word    0 (not offline)\n"),
              std::string::npos)
        << normal;
    const std::string download = Cli(dir, "info com5");
    EXPECT_NE(download.find("boot loader  SIM-PBL 1.0\nboot block   0x10000001\n"),
              std::string::npos)
        << download;
    EXPECT_EQ(Cli(dir, "info COM42"), "Can not open port!\nno present device is named COM42\n");

    int status = -1;
    const std::string switched = Cli(dir, "to-download COM1", FENDREL_CLI_PATH, &status);
    EXPECT_NE(switched.find("Change to offline mode...\nSwitch to download...\n"),
              std::string::npos)
        << switched;
    EXPECT_NE(switched.find("The phone is back in download mode as COM8."), std::string::npos)
        << switched;
    EXPECT_NE(switched.find("COM8     UART         1 download"), std::string::npos);
    EXPECT_EQ(switched.find("COM1 "), std::string::npos);
    EXPECT_EQ(status, 0);

    // A phone that refuses the switch keeps its port, and the station's text says so.
    simulator.Send("fault 2 switch-error");
    simulator.ReadUntil("phone 2 fault set");
    const std::string refused = Cli(dir, "to-download COM3", FENDREL_CLI_PATH, &status);
    EXPECT_NE(refused.find("Switch to download...\nSwitch to download mode fail!\n"),
              std::string::npos)
        << refused;
    EXPECT_EQ(status, 1);
    EXPECT_NE(Cli(dir, "ports").find("COM3     UART         0 diag"), std::string::npos);
}

// A copy of fendrel-cli in a program folder of the test's, beside the shipped config.ini and NV
// definitions, so that what it writes beside itself (the Backup folder) stays in the test.
std::string ProgramCopy(const TempDir& dir) {
    const std::filesystem::path shipped = std::filesystem::path(FENDREL_CLI_PATH).parent_path();
    std::filesystem::create_directories(dir.File("program"));
    for (const char* file : {"fendrel-cli", "config.ini", "NV Decoder.zdf"})
        std::filesystem::copy_file(shipped / file, dir.File("program/") + file);
    return dir.File("program/fendrel-cli");
}

TEST(StationCommands, FlashRunsAWorkerThroughBackupAndSwitchAndSaysWhatItCannotDo) {
    TempDir dir;
    Simulator simulator(dir.File("station"), {"--esn", "1234abcd", "normal"});
    simulator.ReadUntil("ready");
    const std::string program = ProgramCopy(dir);

    int status = -1;
    const std::string run = Cli(dir, "flash --esn --rf COM1", program, &status);
    for (const char* expected :
         {"Detecting phone...", "backing up NV items", "Backupping NV(NV_ESN)...",
          "Backupping NV(NV_MEID_I)...", "Change to offline mode...", "Switch to download...",
          // A phone of no family comes back in download mode, not as a disk.
          "ERROR: Can not find the phone's disk!", "COM1: Download fail!"}) {
        EXPECT_NE(run.find(expected), std::string::npos) << expected << "\n" << run;
    }
    EXPECT_EQ(status, 1);

    // The backup was written beside the program and is whole; the phone went to download mode.
    std::vector<std::filesystem::path> backups;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(dir.File("program/Backup/OTHER"))) {
        if (entry.path().extension() == ".znv")
            backups.push_back(entry.path());
    }
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_TRUE(backups[0].filename().string().starts_with("_COM1_")) << backups[0];
    EXPECT_NE(Cli(dir, "nv-check '" + backups[0].string() + "'", program, &status).find("intact"),
              std::string::npos);
    EXPECT_EQ(status, 0);
    EXPECT_NE(Cli(dir, "ports").find("1 download"), std::string::npos);

    EXPECT_NE(Cli(dir, "flash COM42", program, &status).find("no listed port is named COM42"),
              std::string::npos);
    EXPECT_EQ(status, 1);
}

// A phone in normal mode whose run fails (it comes back in download mode, not as a disk) and a
// firehose phone in download mode written from a small image set, on the ports COM1 and COM3;
// the flash runs in a copy of the program with the plugin, so that its NV backup stays in the
// test.
class FlashRunTest : public ::testing::Test {
  protected:
    FlashRunTest() {
        simulator_.ReadUntil("ready");
        const std::filesystem::path shipped = std::filesystem::path(FENDREL_CLI_PATH).parent_path();
        for (const char* file : {"libNandMulDL.so", "fendrel-msp"})
            std::filesystem::copy_file(shipped / file, dir_.File("program/") + file);
        int status = -1;
        Output("'" FENDREL_MAKE_IMAGE_SET_PATH "' --disk-mib 16 --data-mib 2 --folder '" +
                   dir_.File("set") + "'",
               &status);
        EXPECT_EQ(status, 0);
    }

    // The flash run's standard output and, in `errors`, its standard error.
    std::string Flash(const std::string& arguments, std::string* errors, int* status) {
        const std::string output = Output(
            CliCommand(dir_, arguments + " --folder '" + dir_.File("set") + "' all", program_) +
                " 2>'" + dir_.File("errors.txt") + "'",
            status);
        *errors = fendrel::testing::ReadFile(dir_.File("errors.txt"));
        return output;
    }

    TempDir dir_;
    Simulator simulator_{dir_.File("station"),
                         {"--esn", "1234abcd", "--disk-mib", "16", "normal", "download:firehose"}};
    const std::string program_ = ProgramCopy(dir_);
};

TEST_F(FlashRunTest, JsonPutsEveryMessageOnStandardOutputOneObjectALineInOrderPerPort) {
    std::string errors;
    int status = -1;
    const std::string output = Flash("flash --json --esn", &errors, &status);
    EXPECT_EQ(status, 1);

    std::map<std::string, std::vector<nlohmann::json>> messages;
    std::map<std::string, nlohmann::json> verdicts;
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        const auto line = nlohmann::json::parse(output.substr(start, end - start), nullptr, false);
        ASSERT_TRUE(line.is_object()) << output.substr(start, end - start);
        const std::string port = line.at("port");
        if (line.at("event") == "verdict") {
            EXPECT_TRUE(verdicts.emplace(port, line).second) << "two verdicts for " << port;
        } else {
            EXPECT_TRUE(verdicts.empty()) << "a message after the verdicts: " << line;
            messages[port].push_back(line);
        }
    }
    EXPECT_EQ(start, output.size()) << "an unfinished last line";

    for (const auto& [port, verdict] : {std::pair{"COM1", "failed"}, std::pair{"COM3", "passed"}}) {
        SCOPED_TRACE(port);
        const std::vector<nlohmann::json>& run = messages[port];
        ASSERT_GE(run.size(), 3u);
        EXPECT_EQ(run.front().at("message"), "START");
        EXPECT_EQ(run[run.size() - 2].at("message"),
                  std::string(verdict) == "passed" ? "SUCCESS" : "ERROR");
        EXPECT_EQ(run.back().at("message"), "END");
        for (std::size_t i = 1; i < run.size(); ++i) {
            EXPECT_LE(run[i - 1].at("time").get<std::string>(),
                      run[i].at("time").get<std::string>());
            EXPECT_LE(run[i - 1].at("percent"), run[i].at("percent"));
        }
        EXPECT_EQ(verdicts[port].at("verdict"), verdict);
    }
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages["COM1"][1].at("status"), "Detecting phone...");
    EXPECT_EQ(verdicts["COM1"].at("status"), "Can not find the phone's disk!");
    // What people read went to standard error.
    EXPECT_NE(errors.find("COM3: Download successfully!"), std::string::npos) << errors;
    EXPECT_NE(errors.find("COM1   [--------------------]   0%  Detecting phone..."),
              std::string::npos)
        << errors;
}

TEST_F(FlashRunTest, TheHistoryKeepsAPassedAndAFailedPhoneWithWhatTheirRunsKnew) {
    std::string errors;
    int status = -1;
    Flash("flash --esn", &errors, &status);
    EXPECT_EQ(status, 1);

    const std::string rows = Cli(dir_, "history --json", program_, &status);
    EXPECT_EQ(status, 0);
    std::map<std::string, nlohmann::json> by_port;
    std::size_t start = 0;
    for (std::size_t end; (end = rows.find('\n', start)) != std::string::npos; start = end + 1) {
        const auto row = nlohmann::json::parse(rows.substr(start, end - start), nullptr, false);
        ASSERT_TRUE(row.is_object()) << rows;
        by_port[row.at("port")] = row;
    }
    ASSERT_EQ(by_port.size(), 2u) << rows;
    const nlohmann::json& failed = by_port["COM1"];
    const nlohmann::json& passed = by_port["COM3"];
    EXPECT_EQ(failed.at("verdict"), "failed");
    EXPECT_EQ(failed.at("status"), "Can not find the phone's disk!");
    EXPECT_EQ(failed.at("esn"), "1234ABCD");  // the backup read it
    EXPECT_EQ(failed.at("port_kind"), 0);
    EXPECT_EQ(failed.at("usb_place"), "1-1");
    const std::string backup = failed.at("nv_backup");
    EXPECT_TRUE(backup.starts_with(dir_.File("program/Backup/"))) << backup;
    EXPECT_TRUE(std::filesystem::exists(backup)) << backup;
    EXPECT_EQ(passed.at("verdict"), "passed");
    EXPECT_EQ(passed.at("esn"), "");  // download mode: nothing backed up
    EXPECT_EQ(passed.at("nv_backup"), "");
    EXPECT_EQ(passed.at("port_kind"), 1);
    EXPECT_EQ(passed.at("usb_place"), "1-2");
    for (const nlohmann::json* row : {&failed, &passed}) {
        EXPECT_EQ(row->at("flash_type"), "MULTI");
        EXPECT_EQ(row->at("image_folder"), dir_.File("set/"));
        EXPECT_EQ(row->at("image_set_digest").get<std::string>().size(), 64u);
        EXPECT_EQ(row->at("image_set_digest"), by_port["COM1"].at("image_set_digest"));
        EXPECT_FALSE(row->at("station").get<std::string>().empty());
        EXPECT_LT(row->at("started").get<std::string>(), row->at("ended").get<std::string>());
    }

    // Looked up by the phone's ESN (typed any way) and by date.
    const std::string by_esn = Cli(dir_, "history --esn 0x1234abcd", program_, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(by_esn.find(" COM1 "), std::string::npos) << by_esn;
    EXPECT_EQ(by_esn.find(" COM3 "), std::string::npos) << by_esn;
    EXPECT_EQ(Cli(dir_, "history --json --since 2999-01-01", program_, &status), "");
    EXPECT_EQ(Cli(dir_, "history --since 1999-02-30", program_, &status),
              "fendrel-cli history: 1999-02-30 is not a date (YYYY-MM-DD[THH:MM[:SS]], UTC)\n");
    EXPECT_EQ(status, 2);
}

// A NOR phone in download mode written from the command line: the programmer from its HEX, the
// boot and app images where the NOR plugin puts them.
TEST(StationCommands, FlashTypeNorWritesBootAndAppThroughTheNorPlugin) {
    TempDir dir;
    Simulator simulator(dir.File("station"), {"download:nor"});
    simulator.ReadUntil("ready");
    const std::string program = ProgramCopy(dir);
    std::filesystem::copy_file(
        std::filesystem::path(FENDREL_CLI_PATH).parent_path() / "libNorDL.so",
        dir.File("program/libNorDL.so"));
    std::filesystem::create_directories(dir.File("set"));
    const std::string boot(20000, 'b'), app(150000, 'a');
    fendrel::testing::WriteFile(dir.File("programmer.bin"), std::string(8192, 'p'));
    fendrel::testing::WriteFile(dir.File("set/boot.img"), boot);
    fendrel::testing::WriteFile(dir.File("set/app.img"), app);
    int status = -1;
    Output("objcopy -I binary -O ihex --change-addresses 0x100000 '" + dir.File("programmer.bin") +
               "' '" + dir.File("set/NPRG6270.hex") + "'",
           &status);
    ASSERT_EQ(status, 0);

    const std::string run =
        Cli(dir,
            "flash --type NOR --folder '" + dir.File("set") + "' --app '" +
                dir.File("set/app.img") + "' --boot '" + dir.File("set/boot.img") + "' all",
            program, &status);
    EXPECT_EQ(status, 0) << run;
    EXPECT_NE(run.find("COM1: Download successfully!"), std::string::npos) << run;
    const std::string flash = fendrel::testing::ReadFile(dir.File("station/nor/phone1.img"));
    ASSERT_EQ(flash.size(), sim::kNorFlashBytes);
    EXPECT_EQ(flash.substr(0, boot.size()), boot);
    EXPECT_EQ(
        flash.substr(sim::kNorBootBytes + sim::kNorEfsBytes + sim::kNorChecksumBytes, app.size()),
        app);
}

TEST_F(FlashRunTest, AStationKilledMidRunKeepsTheRowsOfThePortsThatHadFinished) {
    // The firehose phone on COM3 is done in about a second; the normal-mode phone on COM1 waits
    // ten times as long for a disk that never comes. COM3's row is there while COM1 still runs
    // (a station that recorded at its end would show both at once), and stays once the station
    // is killed.
    const std::string command =
        "exec env " + CliCommand(dir_, "flash --folder '" + dir_.File("set") + "' all", program_) +
        " >/dev/null 2>&1";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t station = -1;
    ASSERT_EQ(posix_spawnp(&station, "sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    std::string rows;
    for (int look = 0; look < 600 && rows.find("\"COM3\"") == std::string::npos; ++look) {
        usleep(100000);
        rows = Cli(dir_, "history --json 2>/dev/null", program_);
    }
    EXPECT_EQ(rows.find("\"COM1\""), std::string::npos) << rows;
    kill(station, SIGKILL);
    waitpid(station, nullptr, 0);

    int exit_status = -1;
    rows = Cli(dir_, "history --json", program_, &exit_status);
    EXPECT_EQ(exit_status, 0) << rows;
    const auto row = nlohmann::json::parse(rows.substr(0, rows.find('\n')), nullptr, false);
    ASSERT_TRUE(row.is_object()) << rows;
    EXPECT_EQ(row.at("port"), "COM3");
    EXPECT_EQ(row.at("verdict"), "passed");
}

TEST(StationCommands, BadCommandLinesAndABrokenConfigurationAreRefused) {
    TempDir dir;
    EXPECT_NE(Cli(dir, "ports extra").find("usage: fendrel-cli ports"), std::string::npos);
    EXPECT_NE(Cli(dir, "setup extra").find("usage: fendrel-cli setup"), std::string::npos);
    EXPECT_NE(Cli(dir, "info").find("usage: fendrel-cli info PORT"), std::string::npos);
    EXPECT_NE(Cli(dir, "to-download COM1 COM2").find("usage: fendrel-cli to-download PORT"),
              std::string::npos);
    for (const char* arguments : {"flash", "flash all COM1", "flash --frobnicate COM1"})
        EXPECT_NE(Cli(dir, arguments).find("usage: fendrel-cli flash"), std::string::npos);
    for (const std::vector<std::string>& phones : std::vector<std::vector<std::string>>{
             {"sideways"}, {"download:unknown-family"}, {"--disk-mib", "0", "disk"}}) {
        Simulator simulator(dir.File("station"), phones);
        EXPECT_EQ(simulator.Wait(), 2) << phones.back();
    }

    // A copy of the program beside a config.ini whose integrity line does not match.
    std::filesystem::create_directories(dir.File("program"));
    std::filesystem::copy_file(FENDREL_CLI_PATH, dir.File("program/fendrel-cli"));
    fendrel::testing::WriteFile(dir.File("program/config.ini"),
                                "[DEVICEINFO]\nIsUSBSize=0\nFILECODE:0000\n");
    EXPECT_EQ(Cli(dir, "ports", dir.File("program/fendrel-cli")),
              "The config file is broken,please reinstall software!\n");
}

TEST(StationCommands, FlashSaysWhichPluginCouldNotBeLoadedAndBacksUpNothingInDownloadMode) {
    TempDir dir;
    Simulator simulator(dir.File("station"), {"download"});
    simulator.ReadUntil("ready");
    const std::string program = ProgramCopy(dir);
    // With a firehose programmer among the images the run ends right after the download step.
    fendrel::testing::WriteFile(dir.File("images/prog_emmc_firehose_8x26.mbn"), "programmer");

    int status = -1;
    const std::string run =
        Cli(dir, "flash --esn --rf --folder '" + dir.File("images") + "' COM1", program, &status);
    for (const std::string& expected : std::vector<std::string>{
             "No NV backup in download mode: the phone cannot answer NV reads there",
             "the flash-download plugin NandMulDL.dll cannot be loaded: " +
                 dir.File("program/libNandMulDL.so") + ": cannot open shared object file",
             "COM1: Download fail!"}) {
        EXPECT_NE(run.find(expected), std::string::npos) << expected << "\n" << run;
    }
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("program/Backup")));
}

TEST(StationCommands, AnUnreadableDeviceTreeOrHiveIsNamedOnceAndFailsEveryCommandThatScans) {
    TempDir dir;
    int status = -1;
    EXPECT_EQ(Cli(dir, "ports", FENDREL_CLI_PATH, &status),
              "fendrel-cli ports: " + dir.File("station/sys") +
                  ": the device tree is not a readable folder (No such file or directory)\n");
    EXPECT_EQ(status, 1);

    Simulator simulator(dir.File("station"), {"normal", "normal"});
    simulator.ReadUntil("ready");
    const std::string hive = dir.File("registry/HKEY_LOCAL_MACHINE.reg");
    fendrel::testing::WriteFile(hive, "not a registry export\n");
    for (const std::string command : {"ports", "info", "flash", "to-download"}) {
        SCOPED_TRACE(command);
        const std::string said =
            Cli(dir, command == "ports" ? command : command + " COM1", FENDREL_CLI_PATH, &status);
        const std::string expected =
            "fendrel-cli " + command + ": the port names cannot be read: " + hive + ": line 1: ";
        EXPECT_EQ(said.rfind(expected, 0), 0u) << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << said;  // said once
        EXPECT_EQ(status, 1);
    }
    EXPECT_EQ(fendrel::testing::ReadFile(hive), "not a registry export\n");
}

TEST(StationCommands, HelpGoesToStandardOutputWithExitStatusZero) {
    const std::string cli = std::string("'") + FENDREL_CLI_PATH + "' ";
    const std::string filecode = std::string("'") + FENDREL_FILECODE_PATH + "' ";
    const std::string sim = std::string("'") + FENDREL_SIM_PATH + "' ";
    const std::string overview = "usage: fendrel-cli COMMAND [ARGUMENTS]\n";
    const std::string flash =
        "usage: fendrel-cli flash [--folder DIR] [--type MULTI|EMMC|NOR] [--app FILE] "
        "[--boot FILE]\n"
        "                         [--esn] [--rf] [--checksum] [--baud N] [--json] PORT...|all\n\n"
        "upgrade the phones";
    const std::pair<std::string, std::string> cases[] = {
        {cli + "--help", overview},
        {cli + "-h", overview},
        {cli + "help", overview},
        {cli + "help flash", flash},
        {cli + "flash --help", flash},
        {cli + "ports -h", "usage: fendrel-cli ports\n\nlist the phone ports"},
        {filecode + "--help", "usage: fendrel-filecode check FILE\n"},
        {filecode + "-h", "usage: fendrel-filecode check FILE\n"},
        {sim + "--help", "usage: fendrel-sim --dir DIR"},
        {sim + "-h", "usage: fendrel-sim --dir DIR"},
    };
    for (const auto& [command, start] : cases) {
        SCOPED_TRACE(command);
        int status = -1;
        const std::string printed = Output(command + " 2>/dev/null", &status);
        EXPECT_EQ(printed.rfind(start, 0), 0u) << printed;
        EXPECT_EQ(status, 0);
    }
    // What is not a request for help still fails, on standard error.
    for (const std::string& command : {cli, cli + "help nosuch", cli + "help flash ports",
                                       cli + "flash --help COM1", filecode, sim}) {
        SCOPED_TRACE(command);
        int status = -1;
        EXPECT_EQ(Output(command + " 2>/dev/null", &status), "");
        EXPECT_EQ(status, 2);
    }
}

}  // namespace

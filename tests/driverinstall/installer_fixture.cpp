#include "tests/driverinstall/installer_fixture.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/paths.h"

namespace tarnwick::testing {
namespace {

namespace fs = std::filesystem;
using fendrel::testing::ReadFile;

std::string CurrentFolder() {
    return fs::current_path().string();
}

void CopyExecutable(const std::string& from, const std::string& to) {
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

}  // namespace

platform::PromptAnswer TranscriptPrompts::ShowMessage(std::string_view text,
                                                      std::string_view caption,
                                                      platform::PromptButtons buttons,
                                                      platform::PromptIcon) {
    EXPECT_EQ(buttons, platform::PromptButtons::kOk);
    if (before_message_)
        before_message_();
    std::ofstream(transcript_, std::ios::app) << "message [" << caption << "] " << text << "\n";
    return platform::PromptAnswer::kOk;
}

InstallerBench::InstallerBench()
    : transcript_(root_.File("transcript.txt")),
      store_(root_.File("registry")),
      prompts_(transcript_),
      original_folder_(CurrentFolder()) {
    setenv("TARNWICK_TRANSCRIPT", transcript_.c_str(), 1);
    UseWorkingFolder("work");
    UseProgramFolder(root_.File("program"));
}

InstallerBench::~InstallerBench() {
    std::error_code ignored;
    fs::current_path(original_folder_, ignored);
    platform::OverrideProgramDirectory("");
    unsetenv("TARNWICK_TRANSCRIPT");
}

void InstallerBench::UseWorkingFolder(std::string_view working_name) {
    working_folder_ = root_.File(working_name);
    fs::create_directories(working_folder_);
    fs::current_path(working_folder_);
}

void InstallerBench::UseProgramFolder(const std::string& program_folder) {
    program_folder_ = program_folder;
    fs::create_directories(program_folder_);
    platform::OverrideProgramDirectory(program_folder_);
}

void InstallerBench::PlaceTools() {
    PlaceTool("32bit/devcon.exe");
    PlaceTool("64bit/DPInst.exe");
}

void InstallerBench::PlaceTool(std::string_view relative_path) {
    CopyExecutable(STANDIN_TOOL, platform::JoinPath(working_folder_, relative_path));
}

void InstallerBench::PlaceLibrary(const std::string& library) {
    CopyExecutable(library, program_folder_ + "/32bit/libDIFxAPI.so");
}

void InstallerBench::CreateKeys() {
    CreateKey(platform::Hive::kLocalMachine, "SOFTWARE\\Tarnwick");
    CreateKey(platform::Hive::kCurrentUser,
              "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer");
}

void InstallerBench::CreateKey(platform::Hive hive, std::string_view path) {
    std::string error;
    ASSERT_TRUE(store_.CreateKey(hive, path, &error)) << error;
}

void InstallerBench::SetInstallFlag(std::uint32_t flag) {
    auto key = store_.OpenKey(platform::Hive::kLocalMachine, "SOFTWARE\\Tarnwick");
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetDword("bInstall", flag)) << key->error();
}

std::string InstallerBench::Run(const platform::HostSystem& host, platform::Clock& clock) {
    const std::string before = fs::exists(transcript_) ? ReadFile(transcript_) : "";
    CTarnwickDlg dialog({clock, host, store_});
    EXPECT_EQ(dialog.DoModal(), kIdOk);
    const std::string after = fs::exists(transcript_) ? ReadFile(transcript_) : "";
    return after.substr(before.size());
}

std::string InstallerBench::Devcon(std::initializer_list<std::string_view> arguments) const {
    std::string line = "devcon.exe: [" + working_folder_ + "/32bit/devcon.exe]";
    for (const std::string_view argument : arguments)
        line += " [" + std::string(argument) + "]";
    return line + " in=null out=pipe err=out cwd=" + working_folder_ + "\n";
}

std::string InstallerBench::Dpinst() const {
    return "DPInst.exe: [" + working_folder_ +
           "/64bit/DPInst.exe] [/q] in=null out=pipe err=out cwd=" + working_folder_ + "\n";
}

std::string InstallerBench::Inf(std::string_view name, bool preinstall) const {
    const std::string driver_folder = program_folder_ + "/32bit/";
    const std::string path = driver_folder + std::string(name);
    std::string lines = "DIFxAPI loaded from " + driver_folder + "libDIFxAPI.so\n";
    if (preinstall)
        lines += "DriverPackagePreinstallW(" + path + ", 0x10)\n";
    lines += "DriverPackageInstallW(" + path + ", 0x10, null, null)\n";
    return lines + "DIFxAPI unloaded\n";
}

std::string InstallerBench::Message(std::string_view text) {
    return "message [Tarnwick] " + std::string(text) + "\n";
}

std::optional<std::uint32_t> InstallerBench::Dword(platform::Hive hive, std::string_view path,
                                                   std::string_view name) const {
    auto key = store_.OpenKey(hive, path);
    return key ? key->QueryDword(name) : std::nullopt;
}

std::string InstallerBench::HiveText(platform::Hive hive) const {
    const std::string path = store_.HivePath(hive);
    return fs::exists(path) ? ReadFile(path) : "";
}

std::vector<platform::Milliseconds> ToolPauses(long after_start_ms, int tools) {
    std::vector<platform::Milliseconds> pauses;
    for (int tool = 0; tool < tools; ++tool) {
        pauses.insert(pauses.end(),
                      {platform::Milliseconds(500), platform::Milliseconds(after_start_ms),
                       platform::Milliseconds(200)});
    }
    return pauses;
}

}  // namespace tarnwick::testing

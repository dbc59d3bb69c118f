// Child processes with an output pipe, and the process list, against real processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/process_list.h"
#include "platform/processes.h"
#include "platform/scripts.h"
#include "tests/support/no_free_descriptors.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using fendrel::testing::TempDir;
using StartResult = ChildProcess::StartResult;
using WaitResult = ChildProcess::WaitResult;

constexpr Milliseconds kLongEnough{60000};

// Everything the process writes, read in pieces of `piece` bytes, and its exit code.
std::string Drain(ChildProcess& process, std::size_t piece = 4095) {
    std::string output;
    std::vector<char> buffer(piece);
    while (const std::size_t count = process.ReadOutput(buffer.data(), buffer.size()))
        output.append(buffer.data(), count);
    EXPECT_EQ(process.Wait(kLongEnough), WaitResult::kEnded);
    return output;
}

// A shell that runs `script` under the name `program` (a copy of /bin/sh).
std::string Shell(const std::string& program, const std::string& script) {
    return QuoteProgramPath(program) + " -c \"" + script + "\"";
}

// A folder holding a copy of the shell under an executable name of our choosing, and a FIFO
// that holds a script's process until the test lets it go.
class ProcessBench : public ::testing::Test {
  protected:
    ProcessBench() : fifo_(dir_.File("hold")) { EXPECT_EQ(mkfifo(fifo_.c_str(), 0600), 0); }
    std::string CopyShell(const std::string& name) {
        const std::string path = dir_.File(name);
        fs::create_directories(fs::path(path).parent_path());
        fs::copy_file("/bin/sh", path);
        return path;
    }
    // A script that waits until Release().
    std::string Held() const { return "read line < " + fifo_; }
    void Release() {
        const int fd = open(fifo_.c_str(), O_WRONLY);  // waits for the script to open it
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "\n", 1), 1);
        close(fd);
    }

    TempDir dir_;
    std::string fifo_;
};

TEST_F(ProcessBench, OutputAndErrorsShareOnePipeThatDrainsInPieces) {
    const std::string shell = CopyShell("sh");
    ChildProcess process;
    // 200000 bytes is more than a pipe holds: the tool would block if it were not drained.
    ASSERT_EQ(process.Start(Shell(shell, "head -c 200000 /dev/zero; echo err >&2; exit 3")),
              StartResult::kStarted)
        << process.error();
    EXPECT_NE(process.id(), 0u);
    const std::string output = Drain(process, 4095);
    EXPECT_EQ(output, std::string(200000, '\0') + "err\n");
    EXPECT_EQ(process.exit_code(), 3);
}

TEST_F(ProcessBench, TheToolGetsNothingToReadAndNoneOfOurDescriptors) {
    const std::string shell = CopyShell("sh");
    const int ours = open("/dev/null", O_RDONLY);  // inheritable
    ASSERT_GE(ours, 0);
    ChildProcess process;
    ASSERT_EQ(process.Start(Shell(shell, "readlink /proc/self/fd/0; cat; ls /proc/self/fd/" +
                                             std::to_string(ours) + " 2>/dev/null || echo closed")),
              StartResult::kStarted);
    EXPECT_EQ(Drain(process), "/dev/null\nclosed\n");
    close(ours);
}

TEST_F(ProcessBench, ProgramsAreTakenAsNamedAndNeverSearchedOnThePath) {
    const std::string spaced = CopyShell("Service Desk/32bit/sh");
    ChildProcess process;
    ASSERT_EQ(process.Start(Shell(spaced, "echo \\\"$0\\\"")), StartResult::kStarted);
    EXPECT_EQ(Drain(process), spaced + "\n");

    const struct {
        std::string command_line;
        std::string named;
    } refused[] = {
        {dir_.File("missing.exe") + " /q", dir_.File("missing.exe")},
        {"sh -c true", "sh"},        // on the PATH, but not in the current folder
        {dir_.path(), dir_.path()},  // a folder
        {"", ""},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.command_line);
        ChildProcess not_started;
        EXPECT_EQ(not_started.Start(c.command_line), StartResult::kNotStarted);
        EXPECT_NE(not_started.error().find("cannot start " + c.named), std::string::npos)
            << not_started.error();
        EXPECT_EQ(not_started.id(), 0u);
        EXPECT_EQ(not_started.ReadOutput(nullptr, 0), 0u);
        EXPECT_EQ(not_started.Wait(Milliseconds(0)), WaitResult::kFailed);
    }
}

TEST_F(ProcessBench, APipeThatCannotBeCreatedIsToldApart) {
    ChildProcess process;
    const StartResult result = [&] {
        const fendrel::testing::NoFreeDescriptors exhausted;
        return process.Start("/bin/true");
    }();
    EXPECT_EQ(result, StartResult::kNoPipe);
    EXPECT_NE(process.error().find("pipe"), std::string::npos) << process.error();
}

TEST_F(ProcessBench, WaitTimesOutWhileTheProcessRunsAndReportsHowItEnded) {
    const std::string shell = CopyShell("sh");
    ChildProcess process;
    ASSERT_EQ(process.Start(Shell(shell, Held() + "; kill -TERM $$")), StartResult::kStarted);
    EXPECT_EQ(process.Wait(Milliseconds(0)), WaitResult::kTimedOut);
    Release();
    EXPECT_EQ(process.Wait(kLongEnough), WaitResult::kEnded);
    EXPECT_EQ(process.exit_code(), 128 + SIGTERM);
    EXPECT_EQ(process.Wait(Milliseconds(0)), WaitResult::kFailed);  // collected already
}

TEST_F(ProcessBench, TheListNamesProcessesByTheirExecutableWhateverTheCase) {
    const std::string program = CopyShell("64bit/ProbeTool.exe");
    ChildProcess process;
    ASSERT_EQ(process.Start(Shell(program, Held())), StartResult::kStarted);

    const auto processes = ListProcesses();
    ASSERT_TRUE(processes);
    EXPECT_TRUE(std::is_sorted(processes->begin(), processes->end(),
                               [](const auto& a, const auto& b) { return a.id < b.id; }));
    const auto self = std::find_if(processes->begin(), processes->end(), [](const auto& entry) {
        return entry.id == static_cast<ProcessId>(getpid());
    });
    ASSERT_NE(self, processes->end());
    EXPECT_EQ(self->executable, fs::path(fs::read_symlink("/proc/self/exe")).filename());

    for (const char* name : {"ProbeTool.exe", "Probetool.exe", "probetool.EXE"})
        EXPECT_EQ(FindProcessByName(name), process.id()) << name;
    EXPECT_EQ(FindProcessByName("ProbeTool"), 0u);
    EXPECT_EQ(FindProcessByName("64bit/ProbeTool.exe"), 0u);

    // A program whose file is removed while it runs is still that program.
    fs::remove(program);
    EXPECT_EQ(FindProcessByName("ProbeTool.exe"), process.id());

    Release();
    EXPECT_EQ(process.Wait(kLongEnough), WaitResult::kEnded);
    EXPECT_EQ(FindProcessByName("ProbeTool.exe"), 0u);
}

TEST_F(ProcessBench, AnEndedProcessThatWasNotCollectedIsNotListed) {
    const std::string program = CopyShell("ZombieProbe.exe");
    ChildProcess process;
    ASSERT_EQ(process.Start(Shell(program, "exit 0")), StartResult::kStarted);
    char byte;
    EXPECT_EQ(process.ReadOutput(&byte, 1), 0u);  // the output has ended
    // Once the process has ended it stays a zombie until collected; see that it is one.
    const std::string stat = "/proc/" + std::to_string(process.id()) + "/stat";
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(process.id()), &info, WEXITED | WNOWAIT), 0);
    ASSERT_TRUE(fs::exists(stat));
    EXPECT_EQ(FindProcessByName("ZombieProbe.exe"), 0u);
    EXPECT_EQ(process.Wait(kLongEnough), WaitResult::kEnded);
}

// Whether process `id` has ended (gone, or a zombie nobody collected yet).
bool Ended(ProcessId id) {
    const std::string stat =
        ReadFileBytes("/proc/" + std::to_string(id) + "/stat", 4096).value_or(std::string());
    const std::size_t state = stat.rfind(')');
    return state == std::string::npos || stat.compare(state, 3, ") Z") == 0;
}

TEST_F(ProcessBench, EndGroupEndsTheProcessAndWhatItStartedButNothingElse) {
    const std::string shell = CopyShell("sh");
    // A process of the caller's group is never ended.
    ChildProcess outsider;
    ASSERT_EQ(outsider.Start(Shell(shell, Held())), StartResult::kStarted);
    EXPECT_FALSE(outsider.EndGroup());

    ChildProcess process;
    const ChildProcess::Options own{true, ChildProcess::Output::kPipe};
    ASSERT_EQ(process.Start(Shell(shell, "sleep 600 & echo $!; wait"), own), StartResult::kStarted);
    char digits[32] = {};
    ASSERT_GT(process.ReadOutput(digits, sizeof digits - 1), 0u);
    const auto started = static_cast<ProcessId>(std::stoul(digits));
    EXPECT_EQ(getpgid(static_cast<pid_t>(process.id())), static_cast<pid_t>(process.id()));
    EXPECT_EQ(process.Wait(Milliseconds(0)), WaitResult::kTimedOut);

    ASSERT_TRUE(process.EndGroup()) << process.error();
    EXPECT_EQ(process.Wait(kLongEnough), WaitResult::kEnded);
    EXPECT_EQ(process.exit_code(), 128 + SIGKILL);
    EXPECT_TRUE(fendrel::testing::WaitUntil([&] { return Ended(started); }));
    EXPECT_FALSE(process.EndGroup());  // collected: its id is no longer ours

    EXPECT_FALSE(Ended(outsider.id()));
    Release();
    EXPECT_EQ(outsider.Wait(kLongEnough), WaitResult::kEnded);
}

TEST_F(ProcessBench, AWaitEndsWhenItsEventIsSetAndKeepsTheOutputsTail) {
    const std::string shell = CopyShell("sh");
    ChildProcess process;
    const ChildProcess::Options tail{false, ChildProcess::Output::kTail};
    // More output than a pipe holds, so the process only gets on while Wait drains it.
    ASSERT_EQ(
        process.Start(Shell(shell, "head -c 100000 /dev/zero; echo last line; " + Held()), tail),
        StartResult::kStarted);
    ManualResetEvent stop;
    EXPECT_EQ(process.Wait(Milliseconds(20), &stop), WaitResult::kTimedOut);
    stop.Set();
    EXPECT_EQ(process.Wait(kLongEnough, &stop), WaitResult::kInterrupted);
    // The script reaches its end only while a wait drains its output.
    std::thread release([this] { Release(); });
    EXPECT_EQ(process.Wait(kLongEnough), WaitResult::kEnded);
    release.join();
    const std::string& kept = process.output_tail();
    ASSERT_EQ(kept.size(), ChildProcess::kOutputTailBytes);
    EXPECT_TRUE(kept.ends_with(std::string(10, '\0') + "last line\n"));
}

TEST_F(ProcessBench, AScriptRunsItsCommandInItsOwnFolderWithEveryWordIntact) {
    const std::string folder = dir_.File("it's a \"folder\" $HOME `x`\\\n");
    fs::create_directories(folder);
    const std::string word = "don't \"split\" $me\\ `please`";
    const std::string script = folder + "/" + ScriptFileName("upgrade-COM3");
    EXPECT_EQ(fs::path(script).extension(), ".sh");
    fendrel::testing::WriteFile(
        script, ScriptText({"/bin/sh", "-c", "pwd; printf '[%s]' \"$0\"; exit 7", word}));
    ChildProcess process;
    ASSERT_EQ(process.Start(ScriptCommandLine(script)), StartResult::kStarted) << process.error();
    EXPECT_EQ(Drain(process), fs::canonical(folder).string() + "\n[" + word + "]");
    EXPECT_EQ(process.exit_code(), 7);
}

TEST(ExecutableNames, CompareWithoutRegardToAsciiCase) {
    EXPECT_TRUE(EqualsIgnoringAsciiCase("DPInst.exe", "dpinst.EXE"));
    EXPECT_TRUE(EqualsIgnoringAsciiCase("", ""));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("DPInst.exe", "DPInst.ex"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("DPInst.exe", "DPInst.exf"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC3\x9C.exe", "\xC3\xBC.exe"));  // only ASCII folds
}

}  // namespace
}  // namespace platform

// The wait for the 64-bit installer: it holds while a process of the installer's name runs
// (whatever the case of its name) and ends when that process ends, or after the 121st pause.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <fstream>

#include "platform/process_list.h"
#include "tests/driverinstall/installer_fixture.h"

namespace tarnwick::testing {
namespace {

using platform::Milliseconds;

class InstallerWait : public InstallerBench {
  protected:
    InstallerWait() : pid_file_(root_.File("installer.pid")) {
        // The installer's second process outlives the first and becomes our child, so that this
        // test can end it and see it gone.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        setenv("TARNWICK_DPINST_PID_FILE", pid_file_.c_str(), 1);
        PlaceTools();
        CreateKeys();
    }
    ~InstallerWait() override {
        EndInstaller();
        unsetenv("TARNWICK_DPINST_PID_FILE");
    }

    void SetUp() override {
        ASSERT_EQ(platform::FindProcessByName("DPInst.exe"), 0u)
            << "another DPInst.exe runs on this machine";
    }

    // Ends the installer's second process, if it runs, and waits until it is gone.
    void EndInstaller() {
        std::ifstream file(pid_file_);
        pid_t pid = 0;
        if (!(file >> pid) || pid <= 0)
            return;
        std::remove(pid_file_.c_str());
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
    }

    std::string pid_file_;
};

// Calls `end` at the given pause of the wait (one of those that follow the pause after reading
// the installer's output); 0 never does.
std::function<void(Milliseconds)> AtWaitPause(int pause, std::function<void()> end) {
    return [pause, end, output_read = false, wait_pauses = 0](Milliseconds duration) mutable {
        if (duration == Milliseconds(200))
            output_read = true;
        else if (output_read && ++wait_pauses == pause)
            end();
    };
}

std::vector<Milliseconds> PausesWaiting(int wait_pauses) {
    std::vector<Milliseconds> pauses = ToolPauses(500, 1);
    pauses.insert(pauses.end(), static_cast<std::size_t>(wait_pauses), Milliseconds(500));
    return pauses;
}

TEST_F(InstallerWait, HoldsWhileTheInstallerRunsAndEndsWhenItEnds) {
    HookedClock clock(AtWaitPause(3, [&] {
        // Nothing is recorded while the installer runs.
        EXPECT_FALSE(Dword(platform::Hive::kLocalMachine, "SOFTWARE\\Tarnwick", "bInstall"));
        EndInstaller();
    }));
    EXPECT_EQ(Run(kWindows7x64, clock), Dpinst() + "DPInst.exe keeps running\n");
    EXPECT_EQ(clock.Sleeps(), PausesWaiting(3));
    EXPECT_EQ(Dword(platform::Hive::kLocalMachine, "SOFTWARE\\Tarnwick", "bInstall"), 1u);
}

TEST_F(InstallerWait, GivesUpAfterThe121stPause) {
    HookedClock clock(AtWaitPause(0, [] {}));
    EXPECT_EQ(Run(kWindows7x64, clock), Dpinst() + "DPInst.exe keeps running\n");
    EXPECT_EQ(clock.Sleeps(), PausesWaiting(121));
    EXPECT_NE(platform::FindProcessByName("DPInst.exe"), 0u);  // it did not end by itself
    EXPECT_EQ(Dword(platform::Hive::kLocalMachine, "SOFTWARE\\Tarnwick", "bInstall"), 1u);
}

}  // namespace
}  // namespace tarnwick::testing

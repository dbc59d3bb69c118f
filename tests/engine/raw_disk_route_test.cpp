// The raw-disk route on a host double: which disk it takes and which it refuses, the script it
// writes and runs, and how it ends the script. Disks come from a simulated device tree, the mount
// table from a file, and the programmer is a stand-in script that says what it was given.
#include "engine/raw_disk_route.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "engine/phone_disk.h"
#include "platform/files.h"
#include "platform/prompts.h"
#include "sim/phones/fake_device_tree.h"
#include "sim/phones/phone_modes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace fendrel::testing {
namespace {

namespace fs = std::filesystem;
using platform::Milliseconds;

constexpr std::uint64_t kDiskBytes = 4ull << 20;
constexpr std::size_t kLargestNote = 1 << 20;  // what the stand-ins write

class FakeRawDiskHost final : public RawDiskHost {
  public:
    std::string version_folder() const override { return folder; }
    std::string port_name() const override { return port; }
    std::string usb_place() const override { return place; }
    platform::Clock& clock() override { return virtual_clock; }
    const platform::ManualResetEvent& stop_event() const override { return stop; }
    bool stop_requested() const override { return stop.IsSet(); }
    void SetStatus(std::string text) override { status = std::move(text); }
    void ShowStatus(std::string text) override {
        status = text;
        shown.push_back(std::move(text));
    }
    void Tick() override { ++ticks; }

    std::string folder, port = "COM3", place;
    platform::VirtualClock virtual_clock;
    platform::ManualResetEvent stop;
    std::string status;
    std::vector<std::string> shown;
    std::atomic<int> ticks{0};
};

class RawDiskRouteTest : public ::testing::Test {
  public:  // the table of refusals arranges through it
    RawDiskRouteTest() {
        fs::create_directories(dir_.File("images"));
        fs::create_directories(dir_.File("work"));
        fs::create_directories(dir_.File("bin"));
        host_.folder = dir_.File("images");
        WriteFile(dir_.File("mounts"), "/dev/vda1 / ext4 rw 0 0\n");
        Programmer("exit 0");
    }

    // Phone disk `image` at `place` (or any USB disk of `vendor` and `product`).
    void Plug(const std::string& place, const std::string& image, int partitions = 0,
              std::uint16_t product = kPhoneDiskProduct) {
        sim::UsbIdentity identity = sim::DiskModeIdentity("S", dir_.File(image), kDiskBytes);
        identity.product = product;
        identity.interfaces[sim::kDiskInterface].partitions = partitions;
        ASSERT_TRUE(tree_.Add(place, identity)) << tree_.error();
    }
    // The stand-in fendrel-msp: notes where it ran and what it was given, then runs `body`.
    void Programmer(const std::string& body, const std::string& name = "fendrel-msp") {
        const std::string path = dir_.File("bin/" + name);
        WriteFile(path, "#!/bin/sh\nprintf '%s\\n' \"$PWD\" \"$0\" \"$@\" > " + dir_.File("ran") +
                            "\n" + body + "\n");
        chmod(path.c_str(), 0755);
    }
    std::vector<std::string> Ran() const {
        std::vector<std::string> lines;
        const auto text = platform::ReadFileBytes(dir_.File("ran"), kLargestNote);
        if (!text)
            return lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text->find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text->substr(start, end - start));
        return lines;
    }
    bool RunRoute(FakeRawDiskHost& host) {
        RawDiskRoute route(RawDiskServices{platform::DiskEnumerator(tree_.root()),
                                           platform::MountTable(dir_.File("mounts")),
                                           dir_.File("bin"), dir_.File("work")});
        return route.Run(host);
    }
    bool RunRoute() { return RunRoute(host_); }

    TempDir dir_;
    sim::FakeDeviceTree tree_{dir_.File("sys")};
    FakeRawDiskHost host_;
    platform::RecordingPrompts prompts_;
    platform::ScopedPrompts installed_{prompts_};
};

TEST_F(RawDiskRouteTest, RunsTheStationsProgrammerOnThePhoneDiskAtItsPlaceInTheVersionFolder) {
    Plug("1-1", "one.img");
    Plug("1-2", "two.img");
    host_.place = "1-2";
    ASSERT_TRUE(RunRoute()) << host_.status;

    const std::string script = dir_.File("work/upgrade-COM3.sh");
    EXPECT_EQ(Ran(), (std::vector<std::string>{fs::canonical(dir_.File("images")).string(),
                                               dir_.File("bin/fendrel-msp"), "--verify", "-n", "-r",
                                               "rawprogram0.xml", "-p", "patch0.xml", "-d",
                                               dir_.File("two.img")}));
    EXPECT_EQ(host_.shown, (std::vector<std::string>{"Upgrading"}));
    EXPECT_EQ(host_.status, "Upgrading");
    // The script stays where it was written; its copy beside the images is gone.
    EXPECT_TRUE(fs::exists(script));
    EXPECT_FALSE(fs::exists(dir_.File("images/upgrade-COM3.sh")));
    // The settle pause is a wait for the phone; the pause before the start a plain one.
    EXPECT_EQ(host_.virtual_clock.Sleeps(), (std::vector<Milliseconds>{RawDiskRoute::kStartPause}));
    EXPECT_GE(host_.virtual_clock.Now(), RawDiskRoute::kSettlePause + RawDiskRoute::kStartPause);
    EXPECT_TRUE(prompts_.Texts().empty());
}

TEST_F(RawDiskRouteTest, TheScriptRunsWhereTheSetsRawprogramLies) {
    // The version folder "images/VERSION" the worker makes for MULTI, and the image folder above.
    const struct {
        const char* name;
        std::vector<std::string> rawprogram_in;
        std::string runs_in;
    } cases[] = {
        {"only the image folder above holds it", {"images"}, "images"},
        {"both hold one", {"images", "images/VERSION"}, "images/VERSION"},
        {"neither holds one", {}, "images/VERSION"},
    };
    Plug("1-1", "one.img");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_.File("images"));
        fs::create_directories(dir_.File("images/VERSION"));
        for (const std::string& folder : c.rawprogram_in)
            WriteFile(dir_.File(folder + "/rawprogram0.xml"), "<data />\n");
        host_.folder = dir_.File("images/VERSION");
        ASSERT_TRUE(RunRoute()) << host_.status;
        const std::vector<std::string> ran = Ran();
        ASSERT_FALSE(ran.empty());
        EXPECT_EQ(ran[0], fs::canonical(dir_.File(c.runs_in)).string());
        EXPECT_FALSE(fs::exists(dir_.File(c.runs_in + "/upgrade-COM3.sh")));
    }
}

TEST_F(RawDiskRouteTest, TheSitesMspPyRunsThroughPythonAndItsCopyGoesWhenTheScriptEnds) {
    Plug("1-1", "one.img");
    WriteFile(dir_.File("work/msp.py"), "# the site's raw programmer\n");
    // Python is whatever python3 the PATH finds: here a stand-in.
    Programmer("test -f msp.py || exit 9", "python3");
    const char* const path = std::getenv("PATH");
    const std::string saved = path != nullptr ? path : "";
    setenv("PATH", (dir_.File("bin") + ":" + saved).c_str(), 1);
    const bool ok = RunRoute();
    setenv("PATH", saved.c_str(), 1);

    ASSERT_TRUE(ok) << host_.status;
    const std::vector<std::string> ran = Ran();
    ASSERT_EQ(ran.size(), 10u);  // the folder, python3, its eight arguments
    EXPECT_EQ(std::vector<std::string>(ran.begin() + 2, ran.end()),
              (std::vector<std::string>{"msp.py", "-n", "-r", "rawprogram0.xml", "-p", "patch0.xml",
                                        "-d", dir_.File("one.img")}));
    EXPECT_FALSE(fs::exists(dir_.File("images/msp.py")));
    EXPECT_TRUE(fs::exists(dir_.File("work/msp.py")));

    // A version folder that is the working folder keeps its own msp.py.
    host_.folder = dir_.File("work");
    setenv("PATH", (dir_.File("bin") + ":" + saved).c_str(), 1);
    const bool again = RunRoute();
    setenv("PATH", saved.c_str(), 1);
    EXPECT_TRUE(again) << host_.status;
    EXPECT_TRUE(fs::exists(dir_.File("work/msp.py")));
}

TEST_F(RawDiskRouteTest, TheVerdictIsTheExitStatusWithTheProgrammersLastWords) {
    Plug("1-1", "one.img");
    Programmer(
        "echo writing; echo 'fendrel-msp: rawprogram0.xml, <program> 2: no such file' >&2; "
        "exit 3");
    EXPECT_FALSE(RunRoute());
    EXPECT_EQ(host_.status,
              "Upgrade fail!(exit status 3): fendrel-msp: rawprogram0.xml, <program> 2: no such "
              "file");
    EXPECT_FALSE(fs::exists(dir_.File("images/upgrade-COM3.sh")));
}

TEST_F(RawDiskRouteTest, RefusesEveryDiskThatIsNotCertainlyThePhones) {
    struct Case {
        const char* name;
        std::function<void(RawDiskRouteTest&, FakeRawDiskHost&)> arrange;
        std::string status;
        int searches;  // how often the tree was looked at
    };
    const Case cases[] = {
        {"no disk", [](RawDiskRouteTest&, FakeRawDiskHost&) {}, "Can not find the phone's disk!",
         RawDiskRoute::kDiskSearches},
        {"a USB disk of another product",
         [](RawDiskRouteTest& t, FakeRawDiskHost&) { t.Plug("1-1", "stick.img", 0, 0x9008); },
         "Can not find the phone's disk!", RawDiskRoute::kDiskSearches},
        {"a phone disk, but at another place",
         [](RawDiskRouteTest& t, FakeRawDiskHost& host) {
             host.place = "1-5";
             t.Plug("1-1", "one.img");
         },
         "Can not find the phone's disk!", RawDiskRoute::kDiskSearches},
        {"two phone disks and no place",
         [](RawDiskRouteTest& t, FakeRawDiskHost&) {
             t.Plug("1-1", "one.img");
             t.Plug("1-2", "two.img");
         },
         "more than one device,pls make sure only connect kesto phone", 1},
        {"a mounted partition",
         [](RawDiskRouteTest& t, FakeRawDiskHost&) {
             t.Plug("1-1", "one.img", 2);
             WriteFile(t.dir_.File("mounts"),
                       t.dir_.File("one.img") + "-part2 /media/phone vfat rw 0 0\n");
         },
         "The phone's disk can not be written: " + dir_.File("one.img") +
             "-part2 is mounted on /media/phone",
         1},
        {"an unreadable mount table",
         [](RawDiskRouteTest& t, FakeRawDiskHost&) {
             t.Plug("1-1", "one.img");
             fs::remove(t.dir_.File("mounts"));
         },
         "The phone's disk can not be written: cannot read the mount table " + dir_.File("mounts") +
             " (",  // and why
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tree_.Remove("1-1");
        tree_.Remove("1-2");
        WriteFile(dir_.File("mounts"), "");
        FakeRawDiskHost host;
        host.folder = dir_.File("images");
        host.virtual_clock.set_real_device_wait(Milliseconds(1));  // no phone is coming
        c.arrange(*this, host);
        EXPECT_FALSE(RunRoute(host));
        EXPECT_TRUE(host.status.starts_with(c.status)) << host.status;
        EXPECT_TRUE(Ran().empty());  // nothing was run
        EXPECT_FALSE(fs::exists(dir_.File("work/upgrade-COM3.sh")));
        EXPECT_EQ(host.virtual_clock.Now(),
                  RawDiskRoute::kSettlePause + (c.searches - 1) * RawDiskRoute::kDiskSearchPause);
    }
    // Only the ambiguous case asks the operator.
    EXPECT_EQ(
        prompts_.Texts(),
        (std::vector<std::string>{"more than one device,pls make sure only connect kesto phone"}));
}

TEST_F(RawDiskRouteTest, AScriptThatCannotBeWrittenIsSaidAndNothingRuns) {
    Plug("1-1", "one.img");
    RawDiskRoute route(RawDiskServices{platform::DiskEnumerator(tree_.root()),
                                       platform::MountTable(dir_.File("mounts")), dir_.File("bin"),
                                       dir_.File("no such folder")});
    EXPECT_FALSE(route.Run(host_));
    EXPECT_EQ(host_.status, "can't open the file");
    EXPECT_EQ(prompts_.Texts(), (std::vector<std::string>{"can't open the file"}));
    EXPECT_TRUE(Ran().empty());
}

TEST_F(RawDiskRouteTest, StopEndsTheScriptAndWhatItStartedAtOnce) {
    Plug("1-1", "one.img");
    const std::string started = dir_.File("started");
    Programmer("sleep 600 & echo $! > " + started + "; wait");
    // Each half-second of the wait may block for real this long: a route that only looked at
    // Stop between them would take that long to end the script; the stop event ends it at once.
    constexpr Milliseconds kLongWait{60000};
    host_.virtual_clock.set_real_device_wait(kLongWait);
    std::atomic<bool> ok{true};
    std::thread run([&] { ok = RunRoute(); });
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(started) && fs::file_size(started) > 0; }));
    const auto stopped_at = std::chrono::steady_clock::now();
    host_.stop.Set();
    run.join();
    const auto took =
        std::chrono::duration_cast<Milliseconds>(std::chrono::steady_clock::now() - stopped_at);
    ::testing::Test::RecordProperty("stop_ms", std::to_string(took.count()));
    EXPECT_LT(took, kLongWait / 2);
    EXPECT_FALSE(ok);
    EXPECT_EQ(host_.status, "Upgrade stopped!");
    EXPECT_FALSE(fs::exists(dir_.File("images/upgrade-COM3.sh")));
    // The programmer's own child went with it.
    const std::string sleeper = platform::ReadFileBytes(started, kLargestNote).value_or("");
    const std::string stat_file = "/proc/" + sleeper.substr(0, sleeper.find('\n')) + "/stat";
    EXPECT_TRUE(WaitUntil([&] {
        const std::string stat = platform::ReadFileBytes(stat_file, kLargestNote).value_or("");
        return stat.empty() || stat.find(") Z") != std::string::npos;
    }));
}

TEST_F(RawDiskRouteTest, AScriptThatRunsTooLongIsEndedAfterAbout400SecondsAndItsCopiesStay) {
    Plug("1-1", "one.img");
    Programmer("sleep 600");
    host_.virtual_clock.set_real_device_wait(Milliseconds(1));
    EXPECT_FALSE(RunRoute());
    EXPECT_EQ(host_.status, "Upgrade time out!");
    EXPECT_EQ(host_.ticks, RawDiskRoute::kMostTicks);
    // 3 s and 2 s of pauses, then 801 half-seconds of the script.
    const Milliseconds waited =
        host_.virtual_clock.Now() - RawDiskRoute::kSettlePause - RawDiskRoute::kStartPause;
    EXPECT_GE(waited, RawDiskRoute::kMostTicks * RawDiskRoute::kTickInterval);
    EXPECT_LT(waited, (RawDiskRoute::kMostTicks + 1) * RawDiskRoute::kTickInterval);
    EXPECT_TRUE(fs::exists(dir_.File("images/upgrade-COM3.sh")));
}

TEST(PhoneDisk, OnlyAPhoneDiskAtTheRightPlaceIsChosen) {
    const auto disk = [](std::string name, std::uint16_t vendor, std::uint16_t product,
                         std::string place) {
        platform::Disk made;
        made.name = std::move(name);
        made.usb = platform::DiskUsb{vendor, product, std::move(place)};
        return made;
    };
    platform::Disk internal;
    internal.name = "vda";
    const std::vector<platform::Disk> disks = {
        internal,
        disk("sda", 0x05C6, 0x9006, "1-1"),
        disk("sdb", 0x05C6, 0x9008, "1-2"),
        disk("sdc", 0x1234, 0x9006, "1-3"),
        disk("sdd", 0x05C6, 0x9006, "1-4"),
    };
    using Outcome = PhoneDiskChoice::Outcome;
    EXPECT_EQ(ChoosePhoneDisk(disks, "1-4").disk.name, "sdd");
    EXPECT_EQ(ChoosePhoneDisk(disks, "1-2").outcome, Outcome::kNone);  // a download-mode phone
    EXPECT_EQ(ChoosePhoneDisk(disks, "1-3").outcome, Outcome::kNone);  // another maker
    EXPECT_EQ(ChoosePhoneDisk(disks, "").outcome, Outcome::kSeveral);
    EXPECT_EQ(ChoosePhoneDisk({disks[0], disks[1], disks[2]}, "").disk.name, "sda");
    EXPECT_EQ(ChoosePhoneDisk({internal}, "").outcome, Outcome::kNone);
    // Two disks at one place (a phone with two units) are as ambiguous as no place.
    EXPECT_EQ(ChoosePhoneDisk({disks[1], disk("sde", 0x05C6, 0x9006, "1-1")}, "1-1").outcome,
              Outcome::kSeveral);
}

}  // namespace
}  // namespace fendrel::testing

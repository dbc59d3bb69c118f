// The multi-download page on the real engine: simulated firehose phones over pseudo-terminals,
// the shipped plugins, the registry's counters.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <set>

#include "app/registry_keys.h"
#include "history/result_history.h"
#include "sim/imageset/image_set.h"
#include "sim/phones/phone_faults.h"
#include "sim/phones/phone_modes.h"
#include "tests/ui/station_rig.h"
#include "ui/multi_download_page.h"

namespace fendrel::ui {
namespace {

using fendrel::testing::ReadFile;
using fendrel::testing::WriteFile;

class MultiPage : public ::testing::Test {
  protected:
    QString Status(int row) { return page->port_list().GetItemText(row, DownloadPage::kStatus); }
    QString Edit(int id) { return page->findChild<QLineEdit*>(QString::number(id))->text(); }
    QPushButton* Button(int id) { return page->findChild<QPushButton*>(QString::number(id)); }
    int RowOf(int phone) { return page->FindRow(std::stoul(rig.PortOf(phone).substr(3))); }

    StationRig rig;
    std::unique_ptr<CMultiDownloadPage> page;
};

TEST_F(MultiPage, StartAllRunsEveryRowToItsVerdictAndCountsIt) {
    sim::ImageSetOptions set;
    set.folder = rig.dir.File("set");
    set.disk_bytes = StationRig::kDiskBytes;
    set.data_bytes = 2 << 20;
    std::string error;
    ASSERT_TRUE(sim::MakeImageSet(set, error)) << error;
    ASSERT_TRUE(sim::WriteExpectedDisk(set, rig.dir.File("expected.img"), error)) << error;
    const int good = rig.AddPhone(sim::kDownloadModeProduct, "firehose");
    const int faulty = rig.AddPhone(sim::kDownloadModeProduct, "firehose");
    rig.station.talk(faulty).SetFault(sim::PhoneFault::kNak);

    page = std::make_unique<CMultiDownloadPage>(rig.Real());
    page->show();
    CPortListCtrl& list = page->port_list();
    ASSERT_EQ(list.GetItemCount(), 2);
    const std::set<std::string> ports = {list.GetItemText(0, 1).toStdString(),
                                         list.GetItemText(1, 1).toStdString()};
    EXPECT_EQ(ports, (std::set<std::string>{rig.PortOf(good), rig.PortOf(faulty)}));
    EXPECT_EQ(Status(0), QStringLiteral("Unknown"));
    EXPECT_EQ(list.GetCell(0, 0)->button_text, QStringLiteral("Start"));
    EXPECT_EQ(Edit(1107), QStringLiteral("0"));

    // Nothing starts before a folder is chosen.
    QTest::mouseClick(Button(1017), Qt::LeftButton);
    EXPECT_EQ(rig.prompts.Texts(), std::vector<std::string>{"pls check the right path"});
    EXPECT_FALSE(page->workers().at(0)->IsRunning());

    rig.choosers.files.push_back(set.folder + "/rawprogram0.xml");
    QTest::mouseClick(Button(1041), Qt::LeftButton);
    EXPECT_EQ(rig.choosers.last_title, QStringLiteral("choose rawprogram*.xml file"));
    EXPECT_EQ(page->image_folder(), set.folder + "/");
    EXPECT_EQ(Edit(1038).toStdString(), set.folder + "/");
    std::optional<platform::SettingsKey> key =
        rig.settings.OpenKey(platform::Hive::kLocalMachine, registry::kFendrelKey);
    EXPECT_EQ(key->QueryString("sPath"), set.folder + "/");

    // The rows by their phones, while the phones still sit on those ports.
    const int ok_row = RowOf(good), bad_row = RowOf(faulty);
    ASSERT_NE(ok_row, bad_row);
    QTest::mouseClick(Button(1017), Qt::LeftButton);
    ASSERT_TRUE(WaitForPage([&] {
        return page->running_count() == 0 && !page->workers().at(0)->IsRunning() &&
               !page->workers().at(1)->IsRunning() && Status(ok_row).contains("success") &&
               Status(bad_row).contains("fail");
    })) << Status(0).toStdString()
        << " / " << Status(1).toStdString() << ", running " << page->running_count() << " "
        << page->workers().at(0)->IsRunning() << " " << page->workers().at(1)->IsRunning();

    EXPECT_EQ(Status(ok_row), QStringLiteral("Download successfully!"));
    EXPECT_EQ(list.GetCell(ok_row, 3)->fore_color, kGreen);
    EXPECT_EQ(list.GetCell(ok_row, 2)->percent, 100);
    EXPECT_EQ(list.GetCell(ok_row, 2)->fore_color, kGreen);
    EXPECT_EQ(Status(bad_row), QStringLiteral("Download fail!"));
    EXPECT_EQ(list.GetCell(bad_row, 3)->fore_color, kRed);
    EXPECT_EQ(list.GetCell(bad_row, 2)->fore_color, kRed);
    // The worker's own reason waits in the status cell's tool tip.
    EXPECT_TRUE(list.GetCell(bad_row, 3)->tool_tip.contains("fail"))
        << list.GetCell(bad_row, 3)->tool_tip.toStdString();
    for (const int row : {ok_row, bad_row}) {
        EXPECT_EQ(list.GetCell(row, 0)->button_text, QStringLiteral("Start"));
        EXPECT_TRUE(list.GetCell(row, 0)->enabled);
    }
    EXPECT_TRUE(Button(1017)->isEnabled());
    EXPECT_TRUE(Button(1036)->isEnabled());
    EXPECT_EQ(rig.Counter("iPass"), 1u);
    EXPECT_EQ(rig.Counter("iFail"), 1u);
    EXPECT_EQ(Edit(1107), QStringLiteral("1"));
    EXPECT_EQ(Edit(1108), QStringLiteral("1"));
    EXPECT_EQ(rig.prompts.BeepCount(), 1);
    EXPECT_EQ(ReadFile(rig.station.DiskImage(good)), ReadFile(rig.dir.File("expected.img")));

    // Each row's verdict is in the result history, and its row's history view shows it.
    const auto results =
        history::OpenResultHistory(rig.dir.File("registry/history.db"), false, error);
    ASSERT_NE(results, nullptr) << error;
    const auto rows = results->Query({}, error);
    ASSERT_TRUE(rows.has_value()) << error;
    ASSERT_EQ(rows->size(), 2u);
    for (const history::ResultRecord& row : *rows) {
        const bool is_good = row.port == list.GetItemText(ok_row, 1).toStdString();
        EXPECT_EQ(row.passed, is_good) << row.port;
        EXPECT_EQ(row.usb_place, is_good ? "1-1" : "1-2");
        EXPECT_EQ(row.port_kind, PORT_KIND_DLOAD);
        EXPECT_EQ(row.image_folder, set.folder + "/");
        EXPECT_LT(row.started, row.ended);
    }
    page->ShowResults(bad_row);
    auto* view = page->findChild<QTableWidget*>(QStringLiteral("results"));
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->rowCount(), 1);
    EXPECT_EQ(view->item(0, 1)->text(), QStringLiteral("failed"));
}

TEST_F(MultiPage, BrowseConvertsTheProgrammerOfTheFolderWithAPausePerCandidate) {
    // A minimal HEX programmer: one full data record of bytes 0 to 15, and the end record.
    const std::string hex = ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n";
    std::string binary;
    for (char byte = 0; byte < 16; ++byte)
        binary += byte;
    struct Case {
        const char* folder;            // under the temporary folder
        std::vector<std::string> hex;  // programmer files, relative to the folder
        const char* converted;         // relative to the folder; empty: none
    };
    const Case cases[] = {
        {"set/", {"VERSION/MPRG8X25.hex", "VERSION/MPRG7627A.hex"}, "VERSION/MPRG7627A.bin"},
        {"VERSION/", {"MPRG8X25Q.hex"}, "MPRG8X25Q.bin"},
        {"plain/", {"MPRG8X25Q.hex"}, ""},  // not a version folder: looked for in VERSION/
    };
    page = std::make_unique<CMultiDownloadPage>(rig.Real());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string folder = rig.dir.File(c.folder);
        for (const std::string& file : c.hex)
            WriteFile(folder + file, hex);
        WriteFile(folder + "rawprogram0.xml", "<data/>");
        rig.choosers.files.push_back(folder + "rawprogram0.xml");
        const std::size_t pauses = rig.clock.Sleeps().size();
        page->Browse();
        EXPECT_EQ(rig.clock.Sleeps().size() - pauses,
                  std::string(c.converted).empty() ? 0 : c.hex.size());
        if (std::string(c.converted).empty())
            continue;
        EXPECT_EQ(page->programmer_binary(), folder + c.converted);
        EXPECT_EQ(ReadFile(folder + c.converted), binary);
    }
    // A cancelled choice keeps the folder and converts its programmer again.
    const std::string kept = page->image_folder();
    page->Browse();
    EXPECT_EQ(page->image_folder(), kept);
}

}  // namespace
}  // namespace fendrel::ui

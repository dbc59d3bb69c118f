// The single-download page: browsing and the file scan, starting with and without an entry, the
// option boxes, and the recent lists in the registry. Workers run on the engine's doubles.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "app/registry_keys.h"
#include "sim/phones/phone_modes.h"
#include "tests/ui/station_rig.h"
#include "ui/single_download_page.h"

namespace fendrel::ui {
namespace {

using fendrel::testing::WriteFile;

class SinglePage : public ::testing::Test {
  protected:
    void SetUp() override {
        phone = rig.AddPhone(sim::kNormalModeProduct);
        page = std::make_unique<CSingleDownloadPage>(rig.Doubles());
    }
    template <typename Widget>
    Widget* Control(int id) {
        return page->findChild<Widget*>(QString::number(id));
    }
    QCheckBox* Box(int id) { return Control<QCheckBox>(id); }
    void Click(int id) { Control<QAbstractButton>(id)->click(); }
    std::string Browse(const std::string& folder) {
        rig.choosers.folders.push_back(rig.dir.File(folder));
        page->BrowseApp();
        return rig.dir.File(folder);
    }

    StationRig rig;
    int phone = 0;
    std::unique_ptr<CSingleDownloadPage> page;
};

TEST_F(SinglePage, TheFileScanFollowsItsPatternsAndFolders) {
    struct Case {
        const char* name;
        std::vector<std::string> files;
        std::vector<std::string> listed;  // sorted
        bool read_all;
    };
    const Case cases[] = {
        {"mbn and hex, no txt", {"a.mbn", "b.mbn", "c.hex"}, {"a.mbn", "b.mbn", "c.hex"}, false},
        {"hex without mbn", {"c.hex", "d.txt"}, {}, false},
        {"every pattern", {"a.MBN", "c.hex", "d.txt", "e.img"}, {"a.MBN", "c.hex", "d.txt"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = rig.dir.File(std::string("scan-") + c.name + "/");
        for (const std::string& file : c.files)
            WriteFile(folder + file, "x");
        const std::size_t prompts = rig.prompts.Texts().size();
        rig.choosers.folders.push_back(folder.substr(0, folder.size() - 1));
        page->BrowseApp();
        EXPECT_EQ(rig.choosers.last_title, QStringLiteral("选择文件夹 "));
        std::vector<std::string> listed;
        for (const std::string& path : page->app_files())
            listed.push_back(path.substr(folder.size()));
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, c.listed);
        // Each pattern's files go to the head: the last pattern's files come first.
        if (!c.listed.empty()) {
            EXPECT_TRUE(page->app_files().front().ends_with(c.read_all ? ".txt" : ".hex"));
        }
        const std::vector<std::string> texts = rig.prompts.Texts();
        EXPECT_EQ(texts.size() - prompts, c.read_all ? 1u : 0u);
        if (c.read_all) {
            EXPECT_EQ(texts.back(), "Read All!");
        }
        EXPECT_EQ(Control<QComboBox>(1002)->itemText(0).toStdString(), folder);
    }
}

TEST_F(SinglePage, SubfoldersAreScannedAndALinkBackUpDoesNotLoop) {
    WriteFile(rig.dir.File("app/top.mbn"), "x");
    WriteFile(rig.dir.File("app/sub/inner/deep.mbn"), "x");
    std::filesystem::create_directory_symlink(rig.dir.File("app"), rig.dir.File("app/sub/loop"));
    Browse("app");
    std::vector<std::string> names;
    for (const std::string& path : page->app_files())
        names.push_back(std::filesystem::path(path).filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"deep.mbn", "top.mbn"}));
}

TEST_F(SinglePage, TheAppComboKeepsElevenEntriesAndTheRegistryKeepsThem) {
    WriteFile(rig.dir.File("f/a.mbn"), "x");
    for (int i = 0; i < 12; ++i)
        Browse("f");
    QComboBox* combo = Control<QComboBox>(1002);
    EXPECT_EQ(combo->count(), 11);
    EXPECT_EQ(combo->currentIndex(), 0);
    combo->clear();
    combo->addItem(QString::fromStdString(rig.dir.File("f/a.mbn")));
    combo->addItem(QStringLiteral("/no/such/file.mbn"));
    page.reset();  // saves the lists
    std::optional<platform::SettingsKey> key =
        rig.settings.OpenKey(platform::Hive::kLocalMachine, registry::kAppFileListKey);
    EXPECT_EQ(key->QueryString("FILE00"), rig.dir.File("f/a.mbn"));
    EXPECT_EQ(key->QueryString("FILE01"), "/no/such/file.mbn");
    // At the next start only the entries that still open come back.
    page = std::make_unique<CSingleDownloadPage>(rig.Doubles());
    combo = Control<QComboBox>(1002);
    ASSERT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->itemText(0).toStdString(), rig.dir.File("f/a.mbn"));
}

TEST_F(SinglePage, StartingNeedsAnEntryAndAFileThatOpens) {
    ASSERT_EQ(page->port_list().GetItemCount(), 1);
    ASSERT_TRUE(Box(1001)->isChecked());
    Control<QComboBox>(1002)->setCurrentIndex(-1);
    page->StartAll();
    EXPECT_EQ(rig.prompts.Texts().back(), "Please select a app file to download!");
    // A folder entry is not a file that opens.
    WriteFile(rig.dir.File("nombn/c.hex"), "x");
    Browse("nombn");
    page->StartAll();
    EXPECT_EQ(rig.prompts.Texts().back(), "Can not find app file!");
    EXPECT_FALSE(page->workers().at(0)->IsRunning());
}

TEST_F(SinglePage, ARowStartsWithTheNewestFileAndTheDefaultServiceCode) {
    const std::string folder = Browse("app");
    WriteFile(folder + "/a.mbn", "x");
    Browse("app");  // now the folder holds a file
    QTest::mouseClick(page->port_list().viewport(), Qt::LeftButton, {},
                      page->port_list().GetCellRect(0, 0).center());
    CDownloadThread* worker = page->workers().at(0);
    ASSERT_TRUE(WaitForPage([&] {
        return worker->params().flash_type == "MULTI" && !worker->IsRunning() &&
               page->running_count() == 0;
    }));
    EXPECT_EQ(worker->params().app_path, folder + "/a.mbn");
    EXPECT_EQ(worker->params().service_code, "731406");
    EXPECT_EQ(worker->params().image_folder, folder + "/");
    EXPECT_EQ(worker->params().flash_type, "MULTI");
    EXPECT_TRUE(page->port_list().GetCell(0, 0)->enabled);
}

TEST_F(SinglePage, TheEraseBoxAndTheBackupBoxesGovernTheServiceCode) {
    QCheckBox* erase = Box(1043);
    QCheckBox* esn = Box(1013);
    QCheckBox* spc = Box(1042);
    QLineEdit* code = Control<QLineEdit>(1089);
    ASSERT_TRUE(erase->isEnabled());  // the shipped configuration's PAGES is not 1
    if (erase->isChecked())
        Click(1043);
    Click(1013);  // ESN on with erase off: the SPC box may be used
    EXPECT_TRUE(spc->isEnabled());
    Click(1042);
    EXPECT_TRUE(code->isEnabled());
    code->setText(QStringLiteral("123456"));
    Click(1043);  // erase on: SPC off and cleared
    EXPECT_FALSE(spc->isEnabled());
    EXPECT_FALSE(spc->isChecked());
    EXPECT_FALSE(code->isEnabled());
    Click(1043);  // erase off again with ESN on: box and field back
    EXPECT_TRUE(spc->isEnabled());
    EXPECT_TRUE(code->isEnabled());
    Click(1013);  // ESN off, RF off: SPC off
    EXPECT_FALSE(esn->isChecked());
    EXPECT_FALSE(spc->isEnabled());
    EXPECT_FALSE(code->isEnabled());
}

}  // namespace
}  // namespace fendrel::ui

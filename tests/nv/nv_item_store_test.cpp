#include "nv/nv_item_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <utility>

#include "platform/paths.h"
#include "platform/prompts.h"
#include "tests/support/special_files.h"
#include "tests/support/temp_dir.h"

namespace fendrel {
namespace {

using platform::LocalDateTime;
using testing::MakeFifo;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const platform::FixedWallClock kSaveTime(LocalDateTime{2013, 4, 9, 8, 5, 30});

NvItemData Bytes(std::initializer_list<std::uint8_t> leading) {
    NvItemData data{};
    std::copy(leading.begin(), leading.end(), data.begin());
    return data;
}

std::set<std::string> FolderEntries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A store over a definition file written into its own folder, with prompts recorded.
class NvItemStoreTest : public ::testing::Test {
  protected:
    std::unique_ptr<NvItemStore> Load(std::string_view definitions,
                                      NvStoreServices services = {&kSaveTime}) {
        WriteFile(dir_.File("defs.zdf"), definitions);
        return std::make_unique<NvItemStore>(dir_.File("defs.zdf"), std::move(services));
    }

    TempDir dir_;
    platform::RecordingPrompts prompts_;
    platform::ScopedPrompts installed_{prompts_};
};

TEST_F(NvItemStoreTest, FirstDefinitionOfANumberWinsAndListsAreAscending) {
    const auto store = Load(
        "; station definitions\r\n"
        "NINE,9,Read,<BYTE,a>\r\n"
        "TWO,2,Write\n"
        "\n"
        "BROKEN,5,RW\r\n"
        "NINE_AGAIN,9,ReadWrite,<WORD,b>\r\n"
        "HIGH,70000,ReadWrite");
    std::vector<std::uint16_t> ids;
    std::vector<std::string> names;
    ASSERT_TRUE(store->list_defined_items(ids, names));
    EXPECT_EQ(ids, (std::vector<std::uint16_t>{2, 9, 4464}));
    EXPECT_EQ(names, (std::vector<std::string>{"TWO", "NINE", "HIGH"}));

    // Definitions stay in file order, and the second line for 9 left no trace.
    ASSERT_EQ(store->definitions().size(), 3u);
    EXPECT_EQ(store->definitions()[0],
              (NvItemDefinition{9, NvAccess::kRead, {NvFieldType::kByte}, {"BYTE,a"}}));
    EXPECT_EQ(store->definitions()[1].id, 2);
    EXPECT_EQ(store->definitions()[2].id, 4464);
    EXPECT_TRUE(prompts_.Texts().empty());
}

TEST_F(NvItemStoreTest, ListingReplacesWhatTheListsHeld) {
    const auto store = Load("A,1,Read\n");
    std::vector<std::uint16_t> ids = {77, 78};
    std::vector<std::string> names = {"old", "older"};
    ASSERT_TRUE(store->list_defined_items(ids, names));
    EXPECT_EQ(ids, std::vector<std::uint16_t>{1});
    EXPECT_EQ(names, std::vector<std::string>{"A"});
}

// A line longer than 4095 characters is dropped whole: its tail, which would define an item on
// its own, is not read as a line, and reading goes on with the next line.
TEST_F(NvItemStoreTest, OverlongLineIsSkippedWholeAndReadingGoesOn) {
    const std::string at_limit = "EDGE,3,Read," + std::string(4095 - 12, 'x');
    const std::string over_limit = std::string(4095, 'x') + "TAIL,5,Read";
    const auto store = Load("A,1,Read\n" + at_limit + "\n" + over_limit + "\nC,6,Write\n");
    std::vector<std::uint16_t> ids;
    std::vector<std::string> names;
    ASSERT_TRUE(store->list_defined_items(ids, names));
    EXPECT_EQ(ids, (std::vector<std::uint16_t>{1, 3, 6}));
    EXPECT_EQ(names[0], "A");
    EXPECT_EQ(names[2], "C");
}

TEST_F(NvItemStoreTest, MissingDefinitionFileIsReportedAndTheStoreStaysUsable) {
    NvItemStore store(dir_.File("NV Decoder.zdf"), {&kSaveTime});
    EXPECT_EQ(prompts_.Texts(),
              std::vector<std::string>{"Open NV struct file(NV Decoder.zdf) error!"});

    std::vector<std::uint16_t> ids = {1};
    std::vector<std::string> names = {"kept"};
    EXPECT_FALSE(store.list_defined_items(ids, names));
    EXPECT_EQ(ids, std::vector<std::uint16_t>{1});
    EXPECT_EQ(names, std::vector<std::string>{"kept"});

    EXPECT_TRUE(store.set_item(0, Bytes({1, 2, 3, 4})));
    EXPECT_TRUE(store.save_backup(dir_.File("b.znv")));
    EXPECT_EQ(ReadFile(dir_.File("b.znv")).substr(0, 13), "0 = 1,2,3,4,0");
}

// The message's own text names the usual file; its detail names the one that was read, and
// why it could not be. A FIFO is refused at once: reading it would wait for a writer for ever.
TEST_F(NvItemStoreTest, UnreadableDefinitionFileIsReportedWithItsPath) {
    std::filesystem::create_directory(dir_.File("folder.zdf"));
    MakeFifo(dir_.File("fifo.zdf"));
    const std::pair<std::string, std::string> cases[] = {
        {dir_.File("folder.zdf"), " is a folder, not a regular file"},
        {dir_.File("fifo.zdf"), " is a FIFO, not a regular file"},
        {dir_.File("missing.zdf"), ": No such file or directory"},
    };
    for (const auto& [path, why] : cases) {
        platform::RecordingPrompts prompts;
        const platform::ScopedPrompts installed(prompts);
        const NvItemStore store(path);
        ASSERT_EQ(prompts.Messages().size(), 1u) << path;
        EXPECT_EQ(prompts.Messages()[0].text, "Open NV struct file(NV Decoder.zdf) error!");
        EXPECT_NE(prompts.Messages()[0].detail.find(path + why), std::string::npos)
            << prompts.Messages()[0].detail;
    }
}

TEST_F(NvItemStoreTest, DefaultStoreReadsTheFileBesideTheProgram) {
    WriteFile(dir_.File("NV Decoder.zdf"), "NV_ESN_I,0,ReadWrite,<DWORD,esn>\r\n");
    platform::OverrideProgramDirectory(dir_.path());
    const NvItemStore store;
    platform::OverrideProgramDirectory("");
    EXPECT_EQ(store.definition_path(), dir_.File("NV Decoder.zdf"));
    ASSERT_EQ(store.definitions().size(), 1u);
    EXPECT_EQ(store.definitions()[0].id, 0);
}

TEST_F(NvItemStoreTest, SetItemReplacesAndClearItemsEmpties) {
    const auto store = Load("");
    store->set_item(5, Bytes({1}));
    store->set_item(5, Bytes({2}));
    store->set_item(3, Bytes({9}));
    ASSERT_EQ(store->items().size(), 2u);
    EXPECT_EQ(store->items().at(5).data[0], 2);
    store->clear_items();
    EXPECT_TRUE(store->items().empty());
}

// The items of fixtures/make_golden_backup.py, set in an order other than the file's.
void SetGoldenItems(NvItemStore& store) {
    NvItemData pattern{};
    NvItemData counting{};
    for (std::size_t i = 0; i < kNvItemDataSize; ++i) {
        pattern[i] = static_cast<std::uint8_t>(i * 37 % 256);
        counting[i] = static_cast<std::uint8_t>(i);
    }
    NvItemData all_set;
    all_set.fill(255);
    store.set_item(65535, all_set);
    store.set_item(178, pattern);
    store.set_item(42, Bytes({7, 255, 0}));
    store.set_item(4464, counting);
    store.set_item(0, Bytes({0xCB, 0xB2, 0xA1, 0x80}));  // ESN 0x80A1B2CB
}

TEST_F(NvItemStoreTest, BackupMatchesTheGoldenFileByteForByte) {
    const auto store = Load("");
    SetGoldenItems(*store);
    ASSERT_TRUE(store->save_backup(dir_.File("_COM7_08_05_30.znv")));
    EXPECT_EQ(ReadFile(dir_.File("_COM7_08_05_30.znv")),
              ReadFile(FENDREL_NV_FIXTURES "golden_backup.znv"));
    EXPECT_EQ(FolderEntries(dir_.path()),
              (std::set<std::string>{"defs.zdf", "_COM7_08_05_30.znv"}));
    EXPECT_TRUE(prompts_.Texts().empty());
}

TEST_F(NvItemStoreTest, BackupWithoutItemsIsTheTrailerAlone) {
    const auto store = Load("");
    ASSERT_TRUE(store->save_backup(dir_.File("empty.znv")));
    EXPECT_EQ(ReadFile(dir_.File("empty.znv")), "ZNVID:,Save time:2013/4/9 8:5:30\r\n");
}

TEST_F(NvItemStoreTest, BackupReplacesAnEarlierFileOfTheSameName) {
    WriteFile(dir_.File("b.znv"), "an earlier backup, much longer than the new one will be\r\n");
    const auto store = Load("");
    ASSERT_TRUE(store->save_backup(dir_.File("b.znv")));
    EXPECT_EQ(ReadFile(dir_.File("b.znv")), "ZNVID:,Save time:2013/4/9 8:5:30\r\n");
}

// A real staged file whose `fail_at`-th Append writes half of its bytes and then fails, as a
// disk that fills up in the middle of a write.
class FailingStagedFile final : public platform::StagedFile {
  public:
    FailingStagedFile(std::unique_ptr<platform::StagedFile> file, int fail_at)
        : file_(std::move(file)), fail_at_(fail_at) {}
    bool Append(std::string_view bytes) override {
        if (++appends_ != fail_at_)
            return file_->Append(bytes);
        file_->Append(bytes.substr(0, bytes.size() / 2));
        return false;
    }
    bool Commit() override { return file_->Commit(); }
    const std::string& error() const override { return file_->error(); }

  private:
    std::unique_ptr<platform::StagedFile> file_;
    const int fail_at_;
    int appends_ = 0;
};

NvStoreServices FailingAppend(int fail_at) {
    return {&kSaveTime,
            [fail_at](const std::string& path,
                      std::string* error) -> std::unique_ptr<platform::StagedFile> {
                std::unique_ptr<platform::StagedFile> file =
                    platform::CreateStagedFile(path, error);
                if (file == nullptr)
                    return nullptr;
                return std::make_unique<FailingStagedFile>(std::move(file), fail_at);
            }};
}

struct FailureCase {
    const char* title;
    int failing_append;  // 1: the items, 2: the trailer
    const char* message;
};

// Names the case in test listings (instead of a dump of its bytes).
void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.title;
}

class NvBackupFailureTest : public NvItemStoreTest,
                            public ::testing::WithParamInterface<FailureCase> {};

// Whatever write fails, the backup under its final name is the earlier one, untouched, and no
// temporary file is left beside it.
TEST_P(NvBackupFailureTest, FailedWriteLeavesTheFinalNameAsItWas) {
    const std::string earlier = "the backup of an earlier run\r\n";
    WriteFile(dir_.File("b.znv"), earlier);
    const auto store = Load("", FailingAppend(GetParam().failing_append));
    SetGoldenItems(*store);
    EXPECT_FALSE(store->save_backup(dir_.File("b.znv")));
    EXPECT_EQ(prompts_.Texts(), std::vector<std::string>{GetParam().message});
    EXPECT_EQ(ReadFile(dir_.File("b.znv")), earlier);
    EXPECT_EQ(FolderEntries(dir_.path()), (std::set<std::string>{"defs.zdf", "b.znv"}));
}

INSTANTIATE_TEST_SUITE_P(Writes, NvBackupFailureTest,
                         ::testing::Values(FailureCase{"items", 1, "Can't the Create the file."},
                                           FailureCase{"trailer_after_the_items", 2,
                                                       "Can't the Open the file."}),
                         [](const auto& case_info) { return std::string(case_info.param.title); });

TEST_F(NvItemStoreTest, BackupIntoAMissingFolderCannotBeCreated) {
    const auto store = Load("");
    EXPECT_FALSE(store->save_backup(dir_.File("no such folder/b.znv")));
    ASSERT_EQ(prompts_.Texts(), std::vector<std::string>{"Can't the Create the file."});
    EXPECT_NE(prompts_.Messages()[0].detail.find(dir_.File("no such folder/b.znv")),
              std::string::npos)
        << prompts_.Messages()[0].detail;
}

// A folder in the way of the final name is no file to replace: nothing is written.
TEST_F(NvItemStoreTest, BackupOverAFolderIsRefusedAndLeavesNothingBehind) {
    std::filesystem::create_directory(dir_.File("b.znv"));
    const auto store = Load("");
    store->set_item(1, Bytes({1}));
    EXPECT_FALSE(store->save_backup(dir_.File("b.znv")));
    ASSERT_EQ(prompts_.Texts(), std::vector<std::string>{"Can't the Create the file."});
    EXPECT_NE(prompts_.Messages()[0].detail.find("b.znv: it is a folder"), std::string::npos)
        << prompts_.Messages()[0].detail;
    EXPECT_EQ(FolderEntries(dir_.path()), (std::set<std::string>{"defs.zdf", "b.znv"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir_.File("b.znv")));
}

}  // namespace
}  // namespace fendrel

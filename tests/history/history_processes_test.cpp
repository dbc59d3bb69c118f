// The result history between processes: a writer killed in the middle of its work, and writers
// that share the file at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "history/result_history.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace fendrel::testing {
namespace {

// history_writer as a child, its standard output on a pipe.
class Writer {
  public:
    Writer(const std::string& path, const std::string& tag, long count) {
        int output[2];
        EXPECT_EQ(pipe2(output, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        std::vector<std::string> words = {FENDREL_HISTORY_WRITER_PATH, path, tag,
                                          std::to_string(count)};
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(output[1]);
        from_ = fdopen(output[0], "r");
    }
    ~Writer() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (from_ != nullptr)
            std::fclose(from_);
    }

    // The index of the next row it says it committed; -1 once it has ended.
    long NextCommitted() {
        long index = -1;
        return std::fscanf(from_, "%ld", &index) == 1 ? index : -1;
    }
    void Kill() { kill(pid_, SIGKILL); }
    // Its exit status, or -1 when a signal ended it.
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    std::FILE* from_ = nullptr;
};

// What SQLite's own check says of the file ("ok" when whole).
std::string IntegrityOf(const std::string& path) {
    sqlite3* db = nullptr;
    std::string verdict = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* check = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
        if (check != nullptr && sqlite3_step(check) == SQLITE_ROW)
            verdict = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
        sqlite3_finalize(check);
    }
    sqlite3_close(db);
    return verdict;
}

// Each writer's row indices in the order they were stored.
std::map<std::string, std::vector<long>> RowsByWriter(const std::string& path) {
    std::string error;
    const auto history = history::OpenResultHistory(path, false, error);
    EXPECT_NE(history, nullptr) << error;
    std::map<std::string, std::vector<long>> rows;
    if (history == nullptr)
        return rows;
    const auto found = history->Query({}, error);
    EXPECT_TRUE(found.has_value()) << error;
    for (const history::ResultRecord& row : found.value_or(std::vector<history::ResultRecord>{})) {
        EXPECT_EQ(row.station, "writer");
        rows[row.port].push_back(std::stol(row.status));
    }
    return rows;
}

std::vector<long> Indices(long count) {
    std::vector<long> indices(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i)
        indices[static_cast<std::size_t>(i)] = i;
    return indices;
}

TEST(HistoryProcesses, AWriterKilledMidRunLeavesAWholeFileWithEveryRowItCommitted) {
    TempDir dir;
    const std::string path = dir.File("state/history.db");
    // Three writers in turn, each killed while it writes on: the file is whole after each, and
    // holds at least every row the writers said they committed, in order, none twice.
    std::map<std::string, long> said;
    for (const std::string tag : {"first", "second", "third"}) {
        Writer writer(path, tag, 1000000);
        constexpr long kRowsBeforeKill = 30;
        long last = -1;
        while (last + 1 < kRowsBeforeKill) {
            const long index = writer.NextCommitted();
            ASSERT_EQ(index, last + 1);
            last = index;
        }
        writer.Kill();
        EXPECT_EQ(writer.Wait(), -1);
        said[tag] = last + 1;
        ASSERT_EQ(IntegrityOf(path), "ok");
    }
    const auto rows = RowsByWriter(path);
    for (const auto& [tag, committed] : said) {
        SCOPED_TRACE(tag);
        const std::vector<long>& kept = rows.at(tag);
        ASSERT_GE(static_cast<long>(kept.size()), committed);
        EXPECT_EQ(kept, Indices(static_cast<long>(kept.size())));
    }
}

TEST(HistoryProcesses, TwoWritersAtOnceLoseNothing) {
    TempDir dir;
    const std::string path = dir.File("history.db");
    constexpr long kRows = 150;
    {
        Writer first(path, "first", kRows);
        Writer second(path, "second", kRows);
        EXPECT_EQ(first.Wait(), 0);
        EXPECT_EQ(second.Wait(), 0);
    }
    const auto rows = RowsByWriter(path);
    EXPECT_EQ(rows.size(), 2u);
    for (const std::string tag : {"first", "second"})
        EXPECT_EQ(rows.at(tag), Indices(kRows)) << tag;
    EXPECT_EQ(IntegrityOf(path), "ok");
}

}  // namespace
}  // namespace fendrel::testing

// The result history in an SQLite database. The file is in WAL mode, so readers never wait for a
// writer and a killed writer's unfinished transaction is simply not there when the file is next
// opened; every row goes in under BEGIN IMMEDIATE, and a process that finds the file locked waits
// (the busy handler) up to kBusyWait for its turn.
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>

#include "history/result_history.h"

namespace fendrel::history {
namespace {

// The layout this code writes and reads, kept in the file's user_version.
constexpr int kSchemaVersion = 1;
// Between two requests for WAL while another station holds the file.
constexpr std::chrono::milliseconds kWalRetryPause{10};

constexpr char kCreateSchema[] =
    "CREATE TABLE IF NOT EXISTS results ("
    " id INTEGER PRIMARY KEY,"
    " started TEXT NOT NULL,"
    " ended TEXT NOT NULL,"
    " station TEXT NOT NULL,"
    " port TEXT NOT NULL,"
    " usb_place TEXT NOT NULL,"
    " port_kind INTEGER NOT NULL,"
    " flash_type TEXT NOT NULL,"
    " image_folder TEXT NOT NULL,"
    " image_set_digest TEXT NOT NULL,"
    " esn TEXT NOT NULL,"
    " nv_backup TEXT NOT NULL,"
    " status TEXT NOT NULL,"
    " verdict TEXT NOT NULL CHECK (verdict IN ('passed', 'failed')));"
    "CREATE INDEX IF NOT EXISTS results_by_esn ON results (esn);"
    "CREATE INDEX IF NOT EXISTS results_by_start ON results (started);";

constexpr char kColumns[] =
    "started, ended, station, port, usb_place, port_kind, flash_type, image_folder, "
    "image_set_digest, esn, nv_backup, status, verdict";

// A prepared statement, finalized when it goes.
class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK)
            statement_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return statement_ != nullptr; }
    void Bind(int index, const std::string& text) {
        sqlite3_bind_text(statement_, index, text.c_str(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    void Bind(int index, int value) { sqlite3_bind_int(statement_, index, value); }
    int Step() { return sqlite3_step(statement_); }
    std::string Text(int column) const {
        const auto* text = sqlite3_column_text(statement_, column);
        return text != nullptr
                   ? std::string(reinterpret_cast<const char*>(text),
                                 static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                   : std::string();
    }
    int Int(int column) const { return sqlite3_column_int(statement_, column); }

  private:
    sqlite3_stmt* statement_ = nullptr;
};

class SqliteHistory final : public ResultHistory {
  public:
    SqliteHistory(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    ~SqliteHistory() override { sqlite3_close(db_); }

    // Sets the file up for this code: WAL, the busy wait, the table. False, with `error` set,
    // when the file is not a history or cannot be set up.
    bool Prepare(std::string& error) {
        sqlite3_busy_timeout(db_, static_cast<int>(kBusyWait.count()));
        if (!EnterWal())
            return Fail("cannot be put in WAL mode", error);
        // A commit is on the disk before Record returns: a verdict is never lost to a power cut
        // after the operator saw it.
        if (!Execute("PRAGMA synchronous=FULL"))
            return Fail("cannot be set up", error);
        const std::optional<std::string> version = Scalar("PRAGMA user_version");
        if (!version)
            return Fail("cannot be read", error);
        const int found = std::atoi(version->c_str());
        if (found > kSchemaVersion) {
            error = path_ + ": the result history was written by a newer version (layout " +
                    std::to_string(found) + ")";
            return false;
        }
        if (found == kSchemaVersion)
            return true;
        if (!Execute("BEGIN IMMEDIATE"))
            return Fail("cannot be set up", error);
        if (!Execute(kCreateSchema) ||
            !Execute("PRAGMA user_version=" + std::to_string(kSchemaVersion)) ||
            !Execute("COMMIT")) {
            Fail("cannot be set up", error);
            Execute("ROLLBACK");
            return false;
        }
        return true;
    }

    bool Record(const ResultRecord& record, std::string& error) override {
        if (!Execute("BEGIN IMMEDIATE"))
            return Fail("cannot record a result", error);
        Statement insert(db_,
                         std::string("INSERT INTO results (") + kColumns +
                             ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)");
        if (insert) {
            int column = 0;
            for (const std::string* text :
                 {&record.started, &record.ended, &record.station, &record.port, &record.usb_place})
                insert.Bind(++column, *text);
            insert.Bind(++column, record.port_kind);
            for (const std::string* text :
                 {&record.flash_type, &record.image_folder, &record.image_set_digest, &record.esn,
                  &record.nv_backup, &record.status})
                insert.Bind(++column, *text);
            insert.Bind(++column, std::string(record.passed ? "passed" : "failed"));
        }
        if (!insert || insert.Step() != SQLITE_DONE || !Execute("COMMIT")) {
            Fail("cannot record a result", error);
            Execute("ROLLBACK");
            return false;
        }
        return true;
    }

    std::optional<std::vector<ResultRecord>> Query(const HistoryFilter& filter,
                                                   std::string& error) override {
        Statement select(db_, std::string("SELECT ") + kColumns +
                                  " FROM results WHERE (?1 = '' OR esn = ?1) AND"
                                  " (?2 = '' OR started >= ?2) AND (?3 = '' OR port = ?3) AND"
                                  " (?4 = '' OR station = ?4) ORDER BY started, id");
        if (!select) {
            Fail("cannot be read", error);
            return std::nullopt;
        }
        select.Bind(1, filter.esn);
        select.Bind(2, filter.since);
        select.Bind(3, filter.port);
        select.Bind(4, filter.station);
        std::vector<ResultRecord> rows;
        int step;
        while ((step = select.Step()) == SQLITE_ROW) {
            rows.push_back({select.Text(0), select.Text(1), select.Text(2), select.Text(3),
                            select.Text(4), select.Int(5), select.Text(6), select.Text(7),
                            select.Text(8), select.Text(9), select.Text(10), select.Text(11),
                            select.Text(12) == "passed"});
        }
        if (step != SQLITE_DONE) {
            Fail("cannot be read", error);
            return std::nullopt;
        }
        return rows;
    }

  private:
    // The first column of the first row `sql` gives; none when it gives no row.
    // Two stations opening a new file at once both ask for WAL. The one that loses the lock
    // upgrade is told "busy" at once instead of through the busy handler (SQLite will not wait
    // there, as the two could wait for each other for ever), so it asks again within the wait.
    bool EnterWal() {
        const auto deadline = std::chrono::steady_clock::now() + kBusyWait;
        for (;;) {
            if (Scalar("PRAGMA journal_mode=WAL") == "wal")
                return true;
            const int code = sqlite3_errcode(db_);
            if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
                std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(kWalRetryPause);
        }
    }
    std::optional<std::string> Scalar(const std::string& sql) {
        Statement statement(db_, sql);
        if (!statement || statement.Step() != SQLITE_ROW)
            return std::nullopt;
        return statement.Text(0);
    }
    bool Execute(const std::string& sql) {
        return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    bool Fail(const char* what, std::string& error) const {
        error = path_ + ": the result history " + what + ": " + sqlite3_errmsg(db_);
        return false;
    }

    sqlite3* db_;
    std::string path_;
};

}  // namespace

std::unique_ptr<ResultHistory> OpenResultHistory(const std::string& path, bool create,
                                                 std::string& error) {
    std::error_code failure;
    const std::filesystem::path file(path);
    if (!create && !std::filesystem::exists(file, failure)) {
        error = path + ": no result has been recorded yet";
        return nullptr;
    }
    if (create && file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), failure);
    if (std::filesystem::exists(file, failure) &&
        !std::filesystem::is_regular_file(file, failure)) {
        error = path + ": the result history is not a regular file";
        return nullptr;
    }
    sqlite3* db = nullptr;
    const int flags =
        SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = path + ": the result history cannot be opened: " +
                (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    auto history = std::make_unique<SqliteHistory>(db, path);
    if (!history->Prepare(error))
        return nullptr;
    return history;
}

}  // namespace fendrel::history

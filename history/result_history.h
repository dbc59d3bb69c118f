// The result history: one row per verdict a station gave (a page's row or a port of
// fendrel-cli flash), kept in a database file in the station's state folder, for a production
// line to look up what happened to a phone.
//
// Every Record is one transaction: a process killed in the middle leaves the rows it finished
// and no damaged file, and several processes (stations sharing the file, or two programs on
// one) may write at once, each waiting its turn for a bounded time rather than failing at once.
//
// The storage is a backend chosen by the build (result_history_<backend>.cpp). A build without
// one still compiles: Open then fails with a message that says the history is not available.
//
// Threads: one ResultHistory is used by one thread at a time; open one per thread or process.
// Record and Query block while another writer holds the file, at most kBusyWait.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fendrel::history {

struct ResultRecord {
    std::string started;  // UTC, as UtcText writes it
    std::string ended;
    std::string station;           // the host's name
    std::string port;              // the port as the row listed it ("COM3")
    std::string usb_place;         // where the phone was plugged ("1-3"); empty when unknown
    int port_kind = 0;             // PORT_KIND_DIAG, _DLOAD, _STORAGE
    std::string flash_type;        // "MULTI", "EMMC", ...
    std::string image_folder;      // as the run was given it
    std::string image_set_digest;  // ImageSetDigest of the images; empty when not worked out
    std::string esn;               // 8 upper-case hex digits when a backup read it, else empty
    std::string nv_backup;         // the NV backup file written, else empty
    std::string status;            // the worker's last status text
    bool passed = false;

    friend bool operator==(const ResultRecord&, const ResultRecord&) = default;
};

// Which rows Query returns; an empty field does not filter.
struct HistoryFilter {
    std::string esn;      // as ResultRecord::esn holds it
    std::string since;    // UtcText: rows started at or after it
    std::string port;     // as the row listed it
    std::string station;  // the host's name
};

// How long a writer or reader waits for another process that holds the file.
inline constexpr std::chrono::milliseconds kBusyWait{15000};

class ResultHistory {
  public:
    virtual ~ResultHistory() = default;

    // Adds the row in one transaction. False, with `error` set, when it could not be written
    // (nothing of it is kept then).
    virtual bool Record(const ResultRecord& record, std::string& error) = 0;

    // The rows that pass `filter`, oldest first; none, with `error` set, on failure.
    virtual std::optional<std::vector<ResultRecord>> Query(const HistoryFilter& filter,
                                                           std::string& error) = 0;
};

// The history in the file `path`, made (with its folder) when missing and `create`; a file that
// is there but is not such a history is refused and left as it is. Null, with `error` set, when it
// cannot be opened, and always in a build without a backend.
std::unique_ptr<ResultHistory> OpenResultHistory(const std::string& path, bool create,
                                                 std::string& error);

// The station's history file: "history.db" in the folder of the station's settings
// ($FENDREL_REGISTRY_DIR, else $XDG_STATE_HOME/fendrel, else ~/.local/state/fendrel).
std::string StationHistoryPath();

}  // namespace fendrel::history

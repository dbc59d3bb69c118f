// fendrel-cli history [--esn HEX] [--since DATE] [--json]: the station's recorded verdicts, oldest
// first; with --esn only those of that phone, with --since only those started at or after DATE
// (UTC). Exit status 0 (also when nothing was recorded yet), 1 when the history cannot be read,
// 2 on a bad command line.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "cli/commands_list.h"
#include "cli/result_json.h"
#include "history/result_history.h"
#include "history/utc_time.h"

namespace fendrel::cli {
namespace {

constexpr char kName[] = "fendrel-cli history";
constexpr std::size_t kMaxEsnDigits = 8;

// "8a3c05f1" or "0x8A3C05F1" as the history writes an ESN ("8A3C05F1"); none when not hex.
std::optional<std::string> EsnOf(std::string text) {
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.erase(0, 2);
    if (text.empty() || text.size() > kMaxEsnDigits ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    char esn[kMaxEsnDigits + 1];
    std::snprintf(esn, sizeof esn, "%08lX", std::strtoul(text.c_str(), nullptr, 16));
    return esn;
}

void PrintTable(const std::vector<history::ResultRecord>& rows) {
    std::printf("%-24s %-12s %-6s %-6s %-8s %-7s %s\n", "STARTED (UTC)", "STATION", "PORT", "PLACE",
                "ESN", "VERDICT", "STATUS");
    for (const history::ResultRecord& row : rows) {
        std::printf("%-24s %-12s %-6s %-6s %-8s %-7s %s\n", row.started.c_str(),
                    row.station.c_str(), row.port.c_str(),
                    row.usb_place.empty() ? "-" : row.usb_place.c_str(),
                    row.esn.empty() ? "-" : row.esn.c_str(), row.passed ? "passed" : "failed",
                    row.status.c_str());
    }
}

int Run(std::span<char* const> arguments) {
    history::HistoryFilter filter;
    bool json = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string argument = arguments[i];
        const bool has_value = i + 1 < arguments.size();
        if (argument == "--json") {
            json = true;
        } else if (argument == "--esn" && has_value) {
            const auto esn = EsnOf(arguments[++i]);
            if (!esn) {
                std::fprintf(stderr, "%s: %s is not an ESN (up to 8 hex digits)\n", kName,
                             arguments[i]);
                return kUsageError;
            }
            filter.esn = *esn;
        } else if (argument == "--since" && has_value) {
            const auto since = history::UtcTextOfDate(arguments[++i]);
            if (!since) {
                std::fprintf(stderr, "%s: %s is not a date (YYYY-MM-DD[THH:MM[:SS]], UTC)\n", kName,
                             arguments[i]);
                return kUsageError;
            }
            filter.since = *since;
        } else {
            return UsageError(HistoryCommand());
        }
    }

    const std::string path = history::StationHistoryPath();
    std::vector<history::ResultRecord> rows;
    std::error_code failure;
    if (std::filesystem::exists(path, failure)) {
        std::string error;
        const auto results = history::OpenResultHistory(path, false, error);
        auto found = results != nullptr ? results->Query(filter, error) : std::nullopt;
        if (!found) {
            std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
            return 1;
        }
        rows = std::move(*found);
    }
    if (!json) {
        PrintTable(rows);
        return 0;
    }
    for (const history::ResultRecord& row : rows) {
        nlohmann::ordered_json object;
        AddResultFields(object, row);
        WriteJsonLine(stdout, object);
    }
    return 0;
}

}  // namespace

Command HistoryCommand() {
    return {"history", "[--esn HEX] [--since DATE] [--json]",
            "show the recorded verdicts, oldest first (DATE: YYYY-MM-DD[THH:MM[:SS]], UTC)", Run};
}

}  // namespace fendrel::cli

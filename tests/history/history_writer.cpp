// history_writer PATH TAG COUNT: records COUNT rows in the history at PATH, each its own
// transaction, port TAG and status the row's index (0, 1, ...), and prints the index on standard
// output once its transaction is committed. Exit 0 after the last, 1 when a row cannot be
// recorded.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "history/result_history.h"

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    std::string error;
    const auto history = fendrel::history::OpenResultHistory(argv[1], true, error);
    if (history == nullptr) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const long count = std::atol(argv[3]);
    for (long i = 0; i < count; ++i) {
        fendrel::history::ResultRecord record;
        record.started = record.ended = "2024-05-01T12:00:00.000Z";
        record.station = "writer";
        record.port = argv[2];
        record.status = std::to_string(i);
        record.passed = i % 2 == 0;
        if (!history->Record(record, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::printf("%ld\n", i);
        std::fflush(stdout);
    }
    return 0;
}

// The result history in a build that has no database library (the Windows cross build, where
// the distribution ships none): every open fails and says why.
#include "history/result_history.h"

namespace fendrel::history {

std::unique_ptr<ResultHistory> OpenResultHistory(const std::string& path, bool,
                                                 std::string& error) {
    error = path +
            ": the result history is not available in this build (it was built without "
            "SQLite)";
    return nullptr;
}

}  // namespace fendrel::history

// fendrel-cli flash --json: the run as JSON Lines on a stream, for programs that follow the
// station. One object per worker message as the console takes it, then one verdict object per
// port. Other programs parse these lines: fields are added, never renamed or taken away (the
// README shows the format).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "history/result_history.h"
#include "history/utc_time.h"

namespace fendrel::cli {

class FlashEvents {
  public:
    // Writes to `to` (not owned), flushing after every line.
    explicit FlashEvents(std::FILE* to) : to_(to) {}

    // {"event":"message","time":...,"port":...,"message":"STATUS","percent":40,"status":...}
    // and "detail" when not empty. `message` is the name after "WM_DOWNLOADTHREAD_".
    void Message(history::Moment time, const std::string& port, std::string_view message,
                 int percent, const std::string& status, const std::string& detail) const;

    // {"event":"verdict","time":...,"port":...} and the fields of the port's history row
    // (cli/result_json.h): "verdict" ("passed" or "failed"), "status", "esn", ...
    void Verdict(history::Moment time, const history::ResultRecord& result) const;

  private:
    std::FILE* to_;
};

}  // namespace fendrel::cli

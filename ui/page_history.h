// A download page's part of the result history: whether each row's run passed, its row recorded
// the moment its END arrives (with what the worker knew then), and the last results of a port
// for the window's history view. Page thread only.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/result_history.h"

namespace fendrel::ui {

class PageHistory {
  public:
    // The history file at `path` (opened when first needed); empty: nothing is recorded.
    explicit PageHistory(std::string path) : path_(std::move(path)) {}

    // START and SUCCESS of the row that lists `port`.
    void Started(const std::string& port);
    void Passed(const std::string& port);
    // Adds the verdict to `result` (ResultOfWorker at END) and records it, once per run (a run
    // may report its END twice). False, with `error` set, when it could not be
    // recorded.
    bool Record(history::ResultRecord result, std::string& error);

    // The last `count` results of `port` at this station, newest first.
    std::optional<std::vector<history::ResultRecord>> Last(const std::string& port,
                                                           std::size_t count, std::string& error);

  private:
    history::ResultHistory* Open(bool create, std::string& error);

    const std::string path_;
    std::unique_ptr<history::ResultHistory> history_;
    std::map<std::string, bool> passed_;
    std::map<std::string, bool> recorded_;  // since the port's last START
};

}  // namespace fendrel::ui

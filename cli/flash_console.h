// What fendrel-cli flash shows of its workers, as a download page does with its rows. The workers
// post from their own threads; each post is queued with the status text (and, for ERROR, the
// failure detail) the worker holds at that moment, which is what a page reads when the message
// arrives, and printed on the console's thread. Each port's history row is recorded as soon as its
// END is shown, so a run that is killed keeps the rows of the ports that had finished. With an
// event stream (--json) every message also
// goes there as it is printed, and the human lines go to standard error instead of standard output.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/flash_events.h"
#include "engine/download_thread.h"
#include "history/result_history.h"
#include "history/utc_time.h"
#include "history/worker_result.h"
#include "platform/clock.h"
#include "platform/messages.h"

namespace fendrel::cli {

class FlashConsole final : public platform::Notifier {
  public:
    // `workers` is filled (with this console as their notifier) before Begin and must not
    // change after it.
    // `events` (not owned, may be null) must outlive the console.
    explicit FlashConsole(const std::vector<std::unique_ptr<CDownloadThread>>& workers,
                          const FlashEvents* events = nullptr)
        : workers_(workers), events_out_(events), human_(events != nullptr ? stderr : stdout) {}

    // Takes the rows from the workers, before any of them starts. Each port's result is recorded
    // in `history` (may be null; a row that cannot be recorded is said on standard error), which
    // must outlive the console, with `facts`.
    void Begin(history::ResultHistory* history = nullptr, history::RunFacts facts = {});

    // Any thread.
    void Post(platform::MessageId message, std::uintptr_t wparam, std::intptr_t lparam) override;

    // Prints the workers' messages as they arrive until `any_running` says no worker runs any
    // more, then every message still queued: a worker's last posts (its verdict and END) may
    // arrive after a wait that found none and before the look that finds the worker ended.
    // `between_waits` is called before each wait for a message (to pass Ctrl-C on).
    void ShowUntilAllEnded(const std::function<bool()>& any_running,
                           const std::function<void()>& between_waits);

    // After every worker ended: per port a verdict line and event (with its history row, which
    // is recorded here for a port whose END never came). True when every port succeeded.
    bool Verdicts();

  private:
    struct Event {
        platform::MessageId message;
        std::uintptr_t port_number;
        std::intptr_t lparam;
        int row;
        history::Moment time;  // when it was posted
        std::string status;
        std::string detail;
        // END: what the worker knows of its run, taken on its thread when it posts (it goes on
        // closing the port afterwards).
        history::ResultRecord result;
    };

    // Prints the next message; false when `timeout` passed without one.
    bool ShowNext(platform::Milliseconds timeout);
    // The row of the worker whose current port carries `port_number` (a worker that found its
    // phone again under another port posts with the new number), or -1.
    int RowOf(std::uintptr_t port_number) const;
    void Show(const Event& event);
    void Print(const std::string& port, int row, const std::string& text) const;
    // Completes the row's result (start, verdict) and records it.
    void Record(std::size_t row, history::ResultRecord result);

    const std::vector<std::unique_ptr<CDownloadThread>>& workers_;
    const FlashEvents* const events_out_;
    std::FILE* const human_;
    std::vector<std::string> names_;  // each row's port as listed
    std::vector<int> percent_;
    std::vector<bool> succeeded_;
    std::vector<history::Moment> started_;  // when each row's START arrived (else Begin)
    std::vector<std::optional<history::ResultRecord>> results_;  // once recorded
    history::ResultHistory* history_ = nullptr;
    history::RunFacts facts_;
    std::vector<std::string> details_shown_;  // each row's last failure detail printed
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Event> events_;
};

}  // namespace fendrel::cli

#include "cli/flash_console.h"

#include <cstdio>

#include "app/text_lookup.h"
#include "engine/worker_messages.h"

namespace fendrel::cli {
namespace {

// How often the console looks at Ctrl-C and the workers while no message arrives.
constexpr platform::Milliseconds kPollInterval{100};
// A progress line is printed each time a port's percentage passes another step of this size.
constexpr int kProgressStep = 10;

// The name of a worker message in the event stream: its registered name without the prefix.
std::string_view MessageName(platform::MessageId message) {
    const WorkerMessageIds& ids = WorkerMessages();
    const std::pair<platform::MessageId, std::string_view> names[] = {
        {ids.start, kStartMessage},       {ids.status, kStatusMessage},
        {ids.progress, kProgressMessage}, {ids.wait, kWaitMessage},
        {ids.resume, kContinueMessage},   {ids.error, kErrorMessage},
        {ids.success, kSuccessMessage},   {ids.end, kEndMessage},
    };
    constexpr std::string_view kPrefix = "WM_DOWNLOADTHREAD_";
    for (const auto& [id, name] : names) {
        if (id == message)
            return name.substr(kPrefix.size());
    }
    return "OTHER";
}

}  // namespace

void FlashConsole::Begin(history::ResultHistory* history, history::RunFacts facts) {
    history_ = history;
    facts_ = std::move(facts);
    for (const auto& worker : workers_)
        names_.push_back(worker->port_name());
    percent_.assign(workers_.size(), 0);
    succeeded_.assign(workers_.size(), false);
    started_.assign(workers_.size(), std::chrono::system_clock::now());
    results_.assign(workers_.size(), std::nullopt);
    details_shown_.assign(workers_.size(), {});
}

void FlashConsole::Post(platform::MessageId message, std::uintptr_t wparam, std::intptr_t lparam) {
    const int row = RowOf(wparam);
    Event event{message, wparam, lparam, row, std::chrono::system_clock::now(), {}, {}, {}};
    const WorkerMessageIds& ids = WorkerMessages();
    if (row >= 0)
        event.status = workers_[row]->status_text();
    if (row >= 0 && message == ids.error)
        event.detail = workers_[row]->failure_detail();
    if (row >= 0 && message == ids.end) {
        event.result = history::ResultOfWorker(*workers_[row], names_[row], false, event.time,
                                               event.time, facts_);
    }
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    arrived_.notify_one();
}

void FlashConsole::ShowUntilAllEnded(const std::function<bool()>& any_running,
                                     const std::function<void()>& between_waits) {
    for (;;) {
        between_waits();
        if (!ShowNext(kPollInterval) && !any_running())
            break;
    }
    // Every worker's thread has ended: what is queued now is all there will be.
    while (ShowNext(platform::Milliseconds(0))) {
    }
}

bool FlashConsole::ShowNext(platform::Milliseconds timeout) {
    Event event;
    {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, timeout, [this] { return !events_.empty(); }))
            return false;
        event = std::move(events_.front());
        events_.pop_front();
    }
    Show(event);
    return true;
}

void FlashConsole::Record(std::size_t row, history::ResultRecord result) {
    result.started = history::UtcText(started_[row]);
    result.passed = succeeded_[row];
    std::string error;
    if (history_ != nullptr && !history_->Record(result, error))
        std::fprintf(stderr, "fendrel-cli flash: %s: not recorded: %s\n", names_[row].c_str(),
                     error.c_str());
    results_[row] = std::move(result);
}

bool FlashConsole::Verdicts() {
    bool all = true;
    for (std::size_t row = 0; row < names_.size(); ++row) {
        // Every thread has ended: the worker can be read from here.
        if (!results_[row]) {
            const auto now = std::chrono::system_clock::now();
            Record(row,
                   history::ResultOfWorker(*workers_[row], names_[row], false, now, now, facts_));
        }
        const history::ResultRecord& result = *results_[row];
        std::fprintf(
            human_, "%s: %s\n", names_[row].c_str(),
            GetText(succeeded_[row] ? text::kDownloadSuccessfully : text::kDownloadFail).c_str());
        if (events_out_ != nullptr)
            events_out_->Verdict(std::chrono::system_clock::now(), result);
        all = all && succeeded_[row];
    }
    return all;
}

int FlashConsole::RowOf(std::uintptr_t port_number) const {
    for (std::size_t row = 0; row < workers_.size(); ++row) {
        if (PortNumberOf(workers_[row]->port_name()) == port_number)
            return static_cast<int>(row);
    }
    return -1;
}

void FlashConsole::Show(const Event& event) {
    const WorkerMessageIds& ids = WorkerMessages();
    const std::string port =
        event.row >= 0 ? names_[event.row] : "COM" + std::to_string(event.port_number);
    if (event.row >= 0 && event.message == ids.start)
        started_[event.row] = event.time;
    if (event.row >= 0 && event.message == ids.end && !results_[event.row])
        Record(static_cast<std::size_t>(event.row), event.result);
    if (event.message == ids.status) {
        Print(port, event.row, event.status);
    } else if (event.message == ids.error) {
        Print(port, event.row, "ERROR: " + event.status);
        // The detail stays with the worker until its next run: shown once.
        if (!event.detail.empty() && event.detail != details_shown_[event.row]) {
            Print(port, event.row, event.detail);
            details_shown_[event.row] = event.detail;
        }
    } else if (event.message == ids.success) {
        if (event.row >= 0)
            succeeded_[event.row] = true;
        Print(port, event.row, GetText(text::kDownloadSuccessfully));
    } else if (event.message == ids.wait) {
        Print(port, event.row, "backing up NV items (Ctrl-C stops)");
    } else if (event.message == ids.progress && event.row >= 0) {
        const int before = percent_[event.row];
        percent_[event.row] = static_cast<int>(event.lparam);
        if (percent_[event.row] / kProgressStep != before / kProgressStep)
            Print(port, event.row, event.status);
    }
    if (events_out_ != nullptr) {
        events_out_->Message(event.time, port, MessageName(event.message),
                             event.row >= 0 ? percent_[event.row] : 0, event.status, event.detail);
    }
}

void FlashConsole::Print(const std::string& port, int row, const std::string& text) const {
    const int percent = row >= 0 ? percent_[row] : 0;
    const std::size_t filled = static_cast<std::size_t>(percent * 2 / kProgressStep);
    std::string bar(kProgressStep * 2, '-');
    bar.replace(0, filled, filled, '#');
    std::fprintf(human_, "%-6s [%s] %3d%%  %s\n", port.c_str(), bar.c_str(), percent, text.c_str());
    std::fflush(human_);
}

}  // namespace fendrel::cli

#include "ui/page_workers.h"

#include <QMetaObject>
#include <cstdio>
#include <optional>
#include <thread>

#include "engine/worker_messages.h"
#include "history/worker_result.h"
#include "platform/host_name.h"

namespace fendrel::ui {
namespace {

// How often retiring looks whether the threads have ended.
constexpr std::chrono::milliseconds kJoinPoll{5};

}  // namespace

void PageRelay::Post(platform::MessageId message, std::uintptr_t wparam, std::intptr_t lparam) {
    const std::lock_guard lock(mutex_);
    if (page_.isNull())
        return;
    // On the worker's thread, which alone may read its run's state while it goes on closing.
    const history::Moment now = std::chrono::system_clock::now();
    if (message == WorkerMessages().start)
        run_started_ = now;
    std::optional<history::ResultRecord> result;
    if (results_ && worker_ != nullptr && message == WorkerMessages().end) {
        result = history::ResultOfWorker(*worker_, port_, false, run_started_.value_or(now), now,
                                         {platform::HostName(), {}});
    }
    // Queued with the page as context: a call still queued when the page goes is dropped.
    QMetaObject::invokeMethod(
        page_.data(),
        [handler = handler_, results = results_, result = std::move(result), message, wparam,
         lparam] {
            if (result)
                results(*result);
            handler(message, wparam, lparam);
        },
        Qt::QueuedConnection);
}

void PageRelay::Cut() {
    const std::lock_guard lock(mutex_);
    page_.clear();
}

void PageWorkers::Add(const PORT_RECORD& port) {
    Entry entry;
    entry.id = ++last_id_;
    entry.relay = std::make_unique<PageRelay>(
        page_,
        [handler = handler_, id = entry.id](platform::MessageId message, std::uintptr_t wparam,
                                            std::intptr_t lparam) {
            handler(id, message, wparam, lparam);
        },
        results_);
    entry.worker = std::make_unique<CDownloadThread>(port.port_name, port.port_type, port.port_kind,
                                                     entry.relay.get(), services_);
    entry.relay->Watch(entry.worker.get(), port.port_name);
    workers_.push_back(std::move(entry));
}

CDownloadThread* PageWorkers::at(int row) const {
    if (row < 0 || row >= size())
        return nullptr;
    return workers_[static_cast<std::size_t>(row)].worker.get();
}

platform::Notifier* PageWorkers::relay(int row) const {
    if (row < 0 || row >= size())
        return nullptr;
    return workers_[static_cast<std::size_t>(row)].relay.get();
}

int PageWorkers::RowOf(WorkerId id) const {
    for (int row = 0; row < size(); ++row) {
        if (id != kNoWorker && workers_[static_cast<std::size_t>(row)].id == id)
            return row;
    }
    return -1;
}

std::vector<std::string> PageWorkers::Retire(std::chrono::milliseconds bound) {
    for (Entry& entry : workers_)
        entry.worker->Stop();
    const auto give_up = std::chrono::steady_clock::now() + bound;
    std::vector<std::string> stuck;
    for (Entry& entry : workers_) {
        while (entry.worker->IsRunning() && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(kJoinPoll);
        if (!entry.worker->IsRunning())
            continue;  // ended: deleted below, its destructor joins at once
        entry.relay->Cut();
        const std::string port = entry.worker->port_name();
        std::fprintf(stderr,
                     "fendrel: the worker of %s did not stop within %lld ms; it is left to end "
                     "on its own and tells the window nothing more\n",
                     port.c_str(), static_cast<long long>(bound.count()));
        stuck.push_back(port);
        // Never freed: its thread still uses it, and the relay it posts to.
        (void)entry.worker.release();
        (void)entry.relay.release();
    }
    workers_.clear();
    return stuck;
}

}  // namespace fendrel::ui

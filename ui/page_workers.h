// The workers of a download page, one per row, and the road their messages take to the page.
//
// Each worker posts to a relay of its own, which turns every post into a queued call on the
// page's thread: worker messages cross threads only as events, and the page handles them where
// it alone touches controls, counters and the settings store. A relay can be cut, after which
// its worker's posts go nowhere. Each call also names the worker that posted, by an id never
// given twice: a worker's port changes during a run (a phone re-discovered on a new port after a
// download), so the port number in a message cannot tell alone whose row it is.
//
// Retiring the workers (a refresh, the page's end) stops every worker and waits for its thread
// with a bound. A worker that ended is deleted. One still running past the bound (a step that
// does not notice the stop) is reported on standard error, its relay is cut so that it never
// posts into rows or a window that are gone, and it is left to end on its own; it is never
// deleted while its thread runs. Page thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/download_thread.h"
#include "engine/worker_services.h"
#include "history/result_history.h"
#include "history/utc_time.h"
#include "platform/messages.h"
#include "ports/port_record.h"

namespace fendrel::ui {

using MessageHandler = std::function<void(platform::MessageId, std::uintptr_t, std::intptr_t)>;
// Given, on the page's thread just before the END it came with, what the worker knew of its run
// when it posted END (history/worker_result.h), with the moments it posted START and END: the
// page adds the verdict.
using ResultHandler = std::function<void(history::ResultRecord)>;

// Which worker of a page posted a message; kNoWorker for posts of anything else (the port list).
using WorkerId = std::uint64_t;
inline constexpr WorkerId kNoWorker = 0;
using WorkerMessageHandler =
    std::function<void(WorkerId, platform::MessageId, std::uintptr_t, std::intptr_t)>;

// Queues each post as a call of `handler` on `page`'s thread; nothing once cut or once the page
// is gone. Post may be called from any thread.
class PageRelay final : public platform::Notifier {
  public:
    PageRelay(QObject* page, MessageHandler handler, ResultHandler results = {})
        : page_(page), handler_(std::move(handler)), results_(std::move(results)) {}
    // The worker whose END carries its result, and the port its row lists; before it starts.
    void Watch(const CDownloadThread* worker, std::string port) {
        worker_ = worker;
        port_ = std::move(port);
    }
    void Post(platform::MessageId message, std::uintptr_t wparam, std::intptr_t lparam) override;
    void Cut();

  private:
    std::mutex mutex_;
    QPointer<QObject> page_;
    MessageHandler handler_;
    ResultHandler results_;
    const CDownloadThread* worker_ = nullptr;
    std::string port_;
    // When the worker posted its last START. Taken on the worker's thread like the end: the page
    // handles START later, after a short run's END was already posted.
    std::optional<history::Moment> run_started_;
};

class PageWorkers {
  public:
    // How long retiring waits for each worker's thread.
    static constexpr std::chrono::milliseconds kJoinBound{5000};

    PageWorkers(QObject* page, WorkerMessageHandler handler, const WorkerServices& services,
                ResultHandler results = {})
        : page_(page),
          handler_(std::move(handler)),
          results_(std::move(results)),
          services_(services) {}
    // Retires every worker.
    ~PageWorkers() { Retire(); }
    PageWorkers(const PageWorkers&) = delete;
    PageWorkers& operator=(const PageWorkers&) = delete;

    void Add(const PORT_RECORD& port);
    int size() const { return static_cast<int>(workers_.size()); }
    // Worker `row`, null out of range.
    CDownloadThread* at(int row) const;
    // The relay worker `row` posts to, null out of range.
    platform::Notifier* relay(int row) const;
    // The row of the worker `id` names; -1 for kNoWorker and for a worker retired since it posted.
    int RowOf(WorkerId id) const;

    // Stops every worker and empties the list as told above. The port names of the workers left
    // running past `bound`.
    std::vector<std::string> Retire(std::chrono::milliseconds bound = kJoinBound);

  private:
    struct Entry {
        WorkerId id = kNoWorker;
        std::unique_ptr<PageRelay> relay;  // outlives its worker
        std::unique_ptr<CDownloadThread> worker;
    };

    QObject* page_;
    WorkerMessageHandler handler_;
    ResultHandler results_;
    WorkerServices services_;
    std::vector<Entry> workers_;
    WorkerId last_id_ = kNoWorker;
};

}  // namespace fendrel::ui

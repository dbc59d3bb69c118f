// The workers of a download page, one per row, and the road their messages take to the page.
//
// Each worker posts to a relay of its own, which turns every post into a queued call on the
// page's thread: worker messages cross threads only as events, and the page handles them where
// it alone touches controls, counters and the settings store. A relay can be cut, after which
// its worker's posts go nowhere.
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
#include <string>
#include <vector>

#include "engine/download_thread.h"
#include "engine/worker_services.h"
#include "history/result_history.h"
#include "platform/messages.h"
#include "ports/port_record.h"

namespace fendrel::ui {

using MessageHandler = std::function<void(platform::MessageId, std::uintptr_t, std::intptr_t)>;
// Given, on the page's thread just before the END it came with, what the worker knew of its run
// when it posted END (history/worker_result.h): the page adds the start and the verdict.
using ResultHandler = std::function<void(history::ResultRecord)>;

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
};

class PageWorkers {
  public:
    // How long retiring waits for each worker's thread.
    static constexpr std::chrono::milliseconds kJoinBound{5000};

    PageWorkers(QObject* page, MessageHandler handler, const WorkerServices& services,
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

    // Stops every worker and empties the list as told above. The port names of the workers left
    // running past `bound`.
    std::vector<std::string> Retire(std::chrono::milliseconds bound = kJoinBound);

  private:
    struct Entry {
        std::unique_ptr<PageRelay> relay;  // outlives its worker
        std::unique_ptr<CDownloadThread> worker;
    };

    QObject* page_;
    MessageHandler handler_;
    ResultHandler results_;
    WorkerServices services_;
    std::vector<Entry> workers_;
};

}  // namespace fendrel::ui

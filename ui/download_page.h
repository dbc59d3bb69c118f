// What both download pages share: the port list with one worker per row, the row build from a
// port scan, and the handling of the worker messages (row texts, colours, progress, buttons, the
// pass counter and the running count). Each page adds its controls, its settings for the
// workers and what differs in the handling.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "engine/worker_messages.h"
#include "engine/worker_services.h"
#include "platform/device_enumerator.h"
#include "platform/settings_store.h"
#include "ui/page_history.h"
#include "ui/page_workers.h"
#include "ui/port_list_ctrl.h"

class QPushButton;

namespace fendrel::ui {

class Choosers;

// Everything a page takes from outside; the objects referred to outlive the page.
struct PageServices {
    WorkerServices workers;
    platform::DeviceEnumerator devices;  // for the port scan
    platform::SettingsStore settings;    // the registry
    std::string config_path;             // config.ini
    Choosers& choosers;
    std::string history_path = {};  // the result history (StationHistoryPath); empty: none
};

// The row colours of the pages.
inline const QColor kWhite(255, 255, 255);
inline const QColor kRed(255, 0, 0);
inline const QColor kGreen(0, 128, 0);
inline const QColor kBlack(0, 0, 0);

class DownloadPage : public QWidget {
  public:
    // The columns of the port list.
    enum Column { kOperate, kPort, kProgress, kStatus, kEsn, kVersion, kProduct };

    ~DownloadPage() override;

    CPortListCtrl& port_list() { return *list_; }
    PageWorkers& workers() { return *workers_; }
    int running_count() const { return running_count_; }

    // The row whose port column reads "COM" and the number; -1 when there is none.
    int FindRow(std::uintptr_t port_number) const;

    // The last results of the row's port at this station, in a window of their own (the port
    // list's context menu: "Last results of COMn...").
    void ShowResults(int row);

  protected:
    DownloadPage(const PageServices& services, QWidget* parent);

    // Builds the port list's columns with these widths, in the list font.
    void BuildColumns(const int (&widths)[7]);
    // DeleteAllRows, retire the workers, scan, and one row and worker per listed port.
    void BuildRows();
    // Column 2 back to an empty bar, column 3 and the information columns to "Unknown".
    void ResetRow(int row);
    void SetCellText(int row, int column, const QString& text);
    // The row's button: stops a running worker (button "Start", disabled) and answers true;
    // false when the worker is not running.
    bool StopIfRunning(int row);
    // Starts worker `row` with `params` at the highest priority.
    void StartWorker(int row, const DOWNLOAD_PARAM& params);
    // The key SOFTWARE\Fendrel when it exists.
    std::optional<platform::SettingsKey> FendrelKey() const;

    // The page's own part of the handling.
    virtual void OnRowButton(int row) = 0;
    virtual void OnEnd() {}
    // After the pass counter rose to `count` (none when it could not be written).
    virtual void OnPassCounted(std::optional<std::uint32_t>) {}
    // An ERROR for `row` (-1 when no row has its port); true when the page handled it alone.
    virtual bool OnError(int row) = 0;

    // Start all and Refresh port, enabled only while no worker runs.
    void SetIdleButtons(QPushButton* start_all, QPushButton* refresh) {
        start_all_ = start_all;
        refresh_ = refresh;
    }

    void HandleMessage(platform::MessageId message, std::uintptr_t wparam, std::intptr_t lparam);
    // The ERROR colours and text: column 3 "Download fail!", columns 3 and 2 red on white.
    void ShowFailure(int row);

    const PageServices services_;
    QFont list_font_;
    QFont button_font_;
    QFont cell_font_;
    CPortListCtrl* list_;

  private:
    void ShowSuccess(int row);

    PageHistory history_;
    std::unique_ptr<platform::Notifier> list_relay_;
    std::unique_ptr<PageWorkers> workers_;
    int running_count_ = 0;
    QPushButton* start_all_ = nullptr;
    QPushButton* refresh_ = nullptr;
};

}  // namespace fendrel::ui

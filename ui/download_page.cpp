#include "ui/download_page.h"

#include <QDialog>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/registry_keys.h"
#include "app/text_lookup.h"
#include "platform/prompts.h"
#include "platform/thread_priority.h"
#include "ports/port_scanner.h"
#include "ui/station_fonts.h"

namespace fendrel::ui {
namespace {

QString Text(int id) {
    return QString::fromStdString(GetText(id));
}

// The verdict's beep.
constexpr unsigned kBeepHz = 500;
constexpr std::chrono::milliseconds kBeepLength{500};

}  // namespace

DownloadPage::DownloadPage(const PageServices& services, QWidget* parent)
    : QWidget(parent),
      services_(services),
      list_font_(StationFont(14)),
      button_font_(StationFont(30)),
      cell_font_(StationFont(12, true)),
      list_(new CPortListCtrl(this)),
      history_(services.history_path) {
    const MessageHandler handler = [this](platform::MessageId message, std::uintptr_t wparam,
                                          std::intptr_t lparam) {
        HandleMessage(message, wparam, lparam);
    };
    list_relay_ = std::make_unique<PageRelay>(this, handler);
    list_->set_notifier(list_relay_.get());
    list_->setObjectName(QStringLiteral("1018"));
    list_->setFont(list_font_);
    ResultHandler results;
    if (!services_.history_path.empty()) {
        results = [this](history::ResultRecord result) {
            std::string error;
            if (!history_.Record(result, error)) {
                std::fprintf(stderr, "fendrel: the result of %s was not recorded: %s\n",
                             result.port.c_str(), error.c_str());
            }
        };
    }
    workers_ = std::make_unique<PageWorkers>(this, handler, services_.workers, results);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& where) {
        const int row = list_->indexAt(where).row();
        if (row < 0)
            return;
        QMenu menu(this);
        const QAction* last = menu.addAction(
            QStringLiteral("Last results of %1...").arg(list_->GetItemText(row, kPort)));
        if (menu.exec(list_->viewport()->mapToGlobal(where)) == last)
            ShowResults(row);
    });
}

void DownloadPage::ShowResults(int row) {
    // The rows a history view shows at most.
    constexpr std::size_t kShownResults = 50;
    const QString port = list_->GetItemText(row, kPort);
    std::string error;
    const auto results = history_.Last(port.toStdString(), kShownResults, error);
    if (!results) {
        platform::CurrentPrompts().ShowMessage(error, {}, platform::PromptButtons::kOk,
                                               platform::PromptIcon::kError);
        return;
    }
    auto* view = new QDialog(this);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->setWindowTitle(QStringLiteral("Last results of %1").arg(port));
    auto* table = new QTableWidget(static_cast<int>(results->size()), 6, view);
    table->setObjectName(QStringLiteral("results"));
    table->setHorizontalHeaderLabels({QStringLiteral("Started (UTC)"), QStringLiteral("Verdict"),
                                      QStringLiteral("Status"), QStringLiteral("ESN"),
                                      QStringLiteral("USB place"), QStringLiteral("NV backup")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int i = 0; i < table->rowCount(); ++i) {
        const history::ResultRecord& result = (*results)[static_cast<std::size_t>(i)];
        const std::string cells[] = {result.started,   result.passed ? "passed" : "failed",
                                     result.status,    result.esn,
                                     result.usb_place, result.nv_backup};
        for (int column = 0; column < 6; ++column) {
            table->setItem(i, column, new QTableWidgetItem(QString::fromStdString(cells[column])));
        }
    }
    table->resizeColumnsToContents();
    auto* layout = new QVBoxLayout(view);
    layout->addWidget(table);
    view->resize(900, 300);
    view->show();
}

DownloadPage::~DownloadPage() {
    workers_->Retire();
}

void DownloadPage::BuildColumns(const int (&widths)[7]) {
    const int titles[7] = {text::kColumnOperate, text::kColumnPort, text::kColumnProgress,
                           text::kColumnStatus,  text::kEsn,        text::kColumnVersion,
                           text::kColumnProduct};
    for (int column = 0; column < 7; ++column) {
        list_->InsertColumn(Text(titles[column]), widths[column]);
        list_->setColumnHidden(column, widths[column] == 0);
    }
}

void DownloadPage::BuildRows() {
    list_->DeleteAllRows();
    workers_->Retire();
    CPortScanner scanner(services_.devices, services_.config_path);
    scanner.Scan();
    for (int index = 0; index < scanner.GetPortCount(); ++index) {
        const PORT_RECORD port = scanner.GetPort(index);
        const int row = list_->InsertRow(index, QString());
        list_->SetCellButton(row, kOperate, Text(text::kStart), true);
        list_->SetItemText(row, kPort, QString::fromStdString(port.port_name));
        list_->SetCellProgress(row, kProgress, true, QString(), 0);
        list_->SetCellColors(row, kProgress, kWhite, palette().color(QPalette::Highlight));
        for (const int column : {kStatus, kProduct, kEsn, kVersion})
            list_->SetItemText(row, column, Text(text::kUnknown));
        for (int column = kOperate; column <= kProduct; ++column)
            list_->SetCellFont(row, column, cell_font_);
        workers_->Add(port);
    }
}

void DownloadPage::ResetRow(int row) {
    list_->SetCellToolTip(row, kStatus, QString());
    list_->SetCellProgress(row, kProgress, true, QString(), 0);
    list_->SetCellColors(row, kProgress, kWhite, palette().color(QPalette::Highlight));
    list_->SetItemText(row, kStatus, Text(text::kUnknown));
    list_->SetCellColors(row, kStatus, kWhite, kBlack);
    for (const int column : {kProduct, kEsn, kVersion})
        list_->SetItemText(row, column, Text(text::kUnknown));
    for (const int column : {kProgress, kStatus, kProduct, kEsn, kVersion})
        list_->SetCellFont(row, column, cell_font_);
}

void DownloadPage::SetCellText(int row, int column, const QString& text) {
    list_->SetItemText(row, column, text);
    list_->SetCellFont(row, column, cell_font_);
}

bool DownloadPage::StopIfRunning(int row) {
    CDownloadThread* worker = workers_->at(row);
    if (worker == nullptr || !worker->IsRunning())
        return false;
    worker->Stop();
    list_->SetCellButton(row, kOperate, Text(text::kStart), false);
    return true;
}

void DownloadPage::StartWorker(int row, const DOWNLOAD_PARAM& params) {
    CDownloadThread* worker = workers_->at(row);
    if (worker == nullptr)
        return;
    worker->SetParams(params);
    worker->Start();
    worker->SetPriority(platform::kThreadPriorityHighest);
}

std::optional<platform::SettingsKey> DownloadPage::FendrelKey() const {
    return services_.settings.OpenKey(platform::Hive::kLocalMachine, registry::kFendrelKey);
}

int DownloadPage::FindRow(std::uintptr_t port_number) const {
    const QString name = QStringLiteral("COM") + QString::number(port_number);
    for (int row = 0; row < list_->GetItemCount(); ++row) {
        if (list_->GetItemText(row, kPort) == name)
            return row;
    }
    return -1;
}

void DownloadPage::ShowFailure(int row) {
    SetCellText(row, kStatus, Text(text::kDownloadFail));
    list_->SetCellColors(row, kStatus, kWhite, kRed);
    list_->SetCellColors(row, kProgress, kWhite, kRed);
}

void DownloadPage::ShowSuccess(int row) {
    SetCellText(row, kStatus, Text(text::kDownloadSuccessfully));
    list_->SetCellColors(row, kStatus, kWhite, kGreen);
    list_->SetCellProgress(row, kProgress, true, QString(), 100);
    list_->SetCellColors(row, kProgress, kWhite, kGreen);
    std::optional<std::uint32_t> count;
    if (std::optional<platform::SettingsKey> key = FendrelKey())
        count = key->IncrementDword("iPass");
    OnPassCounted(count);
    platform::CurrentPrompts().Beep(kBeepHz, kBeepLength);
}

void DownloadPage::HandleMessage(platform::MessageId message, std::uintptr_t wparam,
                                 std::intptr_t lparam) {
    const WorkerMessageIds& ids = WorkerMessages();
    if (message == ids.list_button_click) {
        OnRowButton(static_cast<int>(wparam));
        return;
    }
    const int row = FindRow(wparam);
    if (row >= 0 && message == ids.start)
        history_.Started(list_->GetItemText(row, kPort).toStdString());
    if (row >= 0 && message == ids.success)
        history_.Passed(list_->GetItemText(row, kPort).toStdString());
    if (message == ids.start) {
        ++running_count_;
        list_->SetCellButton(row, kOperate, Text(text::kStart), false);
        if (start_all_ != nullptr) {
            start_all_->setEnabled(false);
            refresh_->setEnabled(false);
        }
    } else if (message == ids.end) {
        // A run may report its end twice (again under the port it ends on): never below 0.
        running_count_ = std::max(running_count_ - 1, 0);
        list_->SetCellButton(row, kOperate, Text(text::kStart), true);
        if (running_count_ <= 0 && start_all_ != nullptr) {
            start_all_->setEnabled(true);
            refresh_->setEnabled(true);
        }
        OnEnd();
    } else if (message == ids.progress) {
        list_->SetCellProgress(row, kProgress, true, QString(), static_cast<int>(lparam));
    } else if (message == ids.status) {
        if (CDownloadThread* worker = workers_->at(row))
            SetCellText(row, kStatus, QString::fromStdString(worker->status_text()));
    } else if (message == ids.wait) {
        list_->SetCellButton(row, kOperate, Text(text::kStop), true);
    } else if (message == ids.resume) {
        list_->SetCellButton(row, kOperate, Text(text::kStop), false);
    } else if (message == ids.error) {
        // The reason stays at hand for a technician, whatever the row shows.
        if (CDownloadThread* worker = workers_->at(row)) {
            QString reason = QString::fromStdString(worker->status_text());
            const std::string detail = worker->failure_detail();
            if (!detail.empty())
                reason += QLatin1Char('\n') + QString::fromStdString(detail);
            list_->SetCellToolTip(row, kStatus, reason);
        }
        if (!OnError(row))
            ShowFailure(row);
    } else if (message == ids.success) {
        ShowSuccess(row);
    }
}

}  // namespace fendrel::ui

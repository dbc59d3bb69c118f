#include "ui/port_list_ctrl.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <algorithm>

#include "engine/worker_messages.h"
#include "ui/port_list_delegate.h"

namespace fendrel::ui {

QString ProgressText(const LIST_CELL& cell) {
    if (cell.text_format.isEmpty())
        return QString::number(cell.percent) + QLatin1Char('%');
    return QString::asprintf(cell.text_format.toUtf8().constData(), cell.percent);
}

// ---- PortListModel ----

int PortListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PortListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

QVariant PortListModel::data(const QModelIndex& index, int role) const {
    const LIST_CELL* cell = Cell(index.row(), index.column());
    if (cell == nullptr)
        return {};
    if (role == Qt::ToolTipRole)
        return cell->tool_tip.isEmpty() ? QVariant() : QVariant(cell->tool_tip);
    if (role != Qt::DisplayRole)
        return {};
    if (cell->button)
        return cell->button_text;
    if (cell->progress)
        return cell->show_text && cell->percent >= 0 ? ProgressText(*cell) : QString();
    return cell->text;
}

QVariant PortListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(titles_.size()))
        return {};
    if (role == Qt::DisplayRole)
        return titles_[static_cast<std::size_t>(section)];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

void PortListModel::AddColumn(const QString& title) {
    const int column = columnCount();
    beginInsertColumns({}, column, column);
    titles_.push_back(title);
    for (auto& row : rows_)
        row.emplace_back();
    endInsertColumns();
}

int PortListModel::InsertRow(int row) {
    row = std::min(row, rowCount());
    beginInsertRows({}, row, row);
    rows_.insert(rows_.begin() + row, std::vector<LIST_CELL>(titles_.size()));
    endInsertRows();
    return row;
}

void PortListModel::Clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

bool PortListModel::InRange(int row, int column) const {
    return row >= 0 && row < rowCount() && column >= 0 && column < columnCount();
}

LIST_CELL* PortListModel::Cell(int row, int column) {
    if (!InRange(row, column))
        return nullptr;
    return &rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

const LIST_CELL* PortListModel::Cell(int row, int column) const {
    return const_cast<PortListModel*>(this)->Cell(row, column);
}

void PortListModel::CellChanged(int row, int column) {
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at);
}

// ---- CPortListCtrl ----

CPortListCtrl::CPortListCtrl(QWidget* parent) : QTableView(parent) {
    setModel(&model_);
    setItemDelegate(new PortListDelegate(model_, this));
    setSelectionBehavior(QAbstractItemView::SelectRows);  // full-row select
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setMouseTracking(true);
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
}

void CPortListCtrl::InsertColumn(const QString& title, int width) {
    model_.AddColumn(title);
    setColumnWidth(model_.columnCount() - 1, width);
}

int CPortListCtrl::InsertRow(int row, const QString& text) {
    if (row < 0)
        return -1;
    const int inserted = model_.InsertRow(row);
    if (LIST_CELL* cell = model_.Cell(inserted, 0))
        cell->text = text;
    return inserted;
}

bool CPortListCtrl::SetItemText(int row, int column, const QString& text) {
    LIST_CELL* cell = model_.Cell(row, column);
    if (cell == nullptr)
        return false;
    if (cell->text != text) {
        cell->text = text;
        model_.CellChanged(row, column);
    }
    return true;
}

bool CPortListCtrl::SetCellToolTip(int row, int column, const QString& text) {
    LIST_CELL* cell = model_.Cell(row, column);
    if (cell == nullptr)
        return false;
    cell->tool_tip = text;
    return true;
}

QString CPortListCtrl::GetItemText(int row, int column) const {
    const LIST_CELL* cell = model_.Cell(row, column);
    return cell != nullptr ? cell->text : QString();
}

bool CPortListCtrl::ChangeCell(int row, int column, const std::function<void(LIST_CELL&)>& change) {
    LIST_CELL* cell = model_.Cell(row, column);
    if (cell == nullptr)
        return false;
    change(*cell);
    RedrawCell(row, column);
    return true;
}

bool CPortListCtrl::SetCellColors(int row, int column, const QColor& back, const QColor& fore) {
    return ChangeCell(row, column, [&](LIST_CELL& cell) {
        cell.back_color = back;
        cell.fore_color = fore;
    });
}

bool CPortListCtrl::SetCellButton(int row, int column, const QString& text, bool enabled) {
    return ChangeCell(row, column, [&](LIST_CELL& cell) {
        cell.button = true;
        cell.button_text = text;
        cell.enabled = enabled;
    });
}

bool CPortListCtrl::SetCellProgress(int row, int column, bool show_text, const QString& format,
                                    int percent) {
    return ChangeCell(row, column, [&](LIST_CELL& cell) {
        cell.progress = true;
        cell.show_text = show_text;
        cell.text_format = format;
        cell.percent = std::min(percent, 100);
    });
}

bool CPortListCtrl::SetCellFont(int row, int column, const QFont& font) {
    return ChangeCell(row, column, [&](LIST_CELL& cell) { cell.font = font; });
}

void CPortListCtrl::DeleteAllRows() {
    pressed_row_ = 0;
    pressed_column_ = 0;
    model_.Clear();
}

QRect CPortListCtrl::GetCellRect(int row, int column) const {
    if (!model_.InRange(row, column))
        return {};
    return visualRect(model_.index(row, column));
}

void CPortListCtrl::RedrawCell(int row, int column) {
    const QRect rect = GetCellRect(row, column);
    if (rect.isNull())
        return;
    viewport()->update(rect.adjusted(-2, -2, 2, 2));
}

std::optional<LIST_CELL> CPortListCtrl::GetCell(int row, int column) const {
    const LIST_CELL* cell = model_.Cell(row, column);
    if (cell == nullptr)
        return std::nullopt;
    return *cell;
}

LIST_CELL* CPortListCtrl::PressedButton() {
    LIST_CELL* cell = model_.Cell(pressed_row_, pressed_column_);
    return cell != nullptr && cell->button && cell->pressed ? cell : nullptr;
}

void CPortListCtrl::mousePressEvent(QMouseEvent* event) {
    const QModelIndex at = indexAt(event->position().toPoint());
    LIST_CELL* cell = at.isValid() ? model_.Cell(at.row(), at.column()) : nullptr;
    if (event->button() != Qt::LeftButton || cell == nullptr || !cell->button) {
        QTableView::mousePressEvent(event);
        return;
    }
    if (LIST_CELL* previous = model_.Cell(pressed_row_, pressed_column_)) {
        previous->focused = false;
        RedrawCell(pressed_row_, pressed_column_);
    }
    cell->focused = true;
    cell->pressed = true;
    pressed_row_ = at.row();
    pressed_column_ = at.column();
    RedrawCell(pressed_row_, pressed_column_);
    event->accept();  // a button press leaves the row selection alone
}

void CPortListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a quick pair is a click of its own on a button.
    mousePressEvent(event);
}

void CPortListCtrl::mouseMoveEvent(QMouseEvent* event) {
    if (LIST_CELL* cell = PressedButton()) {
        if (!GetCellRect(pressed_row_, pressed_column_).contains(event->position().toPoint())) {
            cell->pressed = false;
            RedrawCell(pressed_row_, pressed_column_);
        }
    }
    QTableView::mouseMoveEvent(event);
}

void CPortListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (LIST_CELL* cell = PressedButton()) {
            cell->pressed = false;
            RedrawCell(pressed_row_, pressed_column_);
            if (cell->enabled && notifier_ != nullptr) {
                notifier_->Post(WorkerMessages().list_button_click,
                                static_cast<std::uintptr_t>(pressed_row_), pressed_column_);
            }
        }
    }
    QTableView::mouseReleaseEvent(event);
}

}  // namespace fendrel::ui

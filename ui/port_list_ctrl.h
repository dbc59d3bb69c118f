// CPortListCtrl: the port list of both download pages, one row per phone port. Every cell is a
// text, a push button (the row's Start/Stop) or a progress bar with a percentage, drawn by one
// delegate (ui/port_list_delegate.h). A click on an enabled button, pressed and released on it,
// posts WM_LISTCTRL_BUTTON_CLICK with wParam = row and lParam = column to the list's notifier.
//
// Rows and columns count from 0. An operation on a row or column out of range does nothing and
// answers 0 (false). A cell update repaints that cell alone. Page thread only.
#pragma once

#include <QAbstractTableModel>
#include <QRect>
#include <QTableView>
#include <functional>
#include <vector>

#include "platform/messages.h"
#include "ui/list_cell.h"

namespace fendrel::ui {

class PortListModel final : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void AddColumn(const QString& title);
    // Inserts a row of default cells (one per column) before `row`, at the end when past it.
    int InsertRow(int row);
    void Clear();
    bool InRange(int row, int column) const;
    // The cell; null when out of range.
    LIST_CELL* Cell(int row, int column);
    const LIST_CELL* Cell(int row, int column) const;
    // Tells the view that the cell changed (repaints that cell only).
    void CellChanged(int row, int column);

  private:
    std::vector<QString> titles_;
    std::vector<std::vector<LIST_CELL>> rows_;
};

class CPortListCtrl final : public QTableView {
  public:
    explicit CPortListCtrl(QWidget* parent = nullptr);

    // Where button clicks are posted (not owned; null: nowhere).
    void set_notifier(platform::Notifier* notifier) { notifier_ = notifier; }

    void InsertColumn(const QString& title, int width);
    int GetColumnCount() const { return model_.columnCount(); }
    int GetItemCount() const { return model_.rowCount(); }

    // -1 for a negative index; else the new row's index.
    int InsertRow(int row, const QString& text);
    bool SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    bool SetCellToolTip(int row, int column, const QString& text);
    bool SetCellColors(int row, int column, const QColor& back, const QColor& fore);
    bool SetCellButton(int row, int column, const QString& text, bool enabled);
    // The percent is stored at most 100.
    bool SetCellProgress(int row, int column, bool show_text, const QString& format, int percent);
    bool SetCellFont(int row, int column, const QFont& font);
    // Also forgets the pressed cell (row 0, column 0).
    void DeleteAllRows();
    // The cell's rectangle in the list's viewport; empty when out of range.
    QRect GetCellRect(int row, int column) const;
    // Repaints the cell grown by 2 pixels; nothing when out of range.
    void RedrawCell(int row, int column);
    // A copy of the cell, or none when out of range (for the pages' and tests' eyes).
    std::optional<LIST_CELL> GetCell(int row, int column) const;

    int pressed_row() const { return pressed_row_; }
    int pressed_column() const { return pressed_column_; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    // Applies `change` to the cell and repaints it; false when out of range.
    bool ChangeCell(int row, int column, const std::function<void(LIST_CELL&)>& change);
    // The remembered cell when it is a pressed button; null otherwise.
    LIST_CELL* PressedButton();

    PortListModel model_;
    platform::Notifier* notifier_ = nullptr;
    int pressed_row_ = 0;
    int pressed_column_ = 0;
};

}  // namespace fendrel::ui

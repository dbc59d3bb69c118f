// The one delegate of the port list: draws each cell as a button, else a progress bar, else text.
//
// Text cells: the cell's colours (the highlight colours when the row is selected), the text
// centred on one line. Buttons: a white cell with a framed, lightly tinted face; the focus
// rectangle of the last pressed button, the caption moved 2 pixels while held, grey text when
// disabled. Progress: a sunken frame, the bar in the fore colour, and the percentage drawn twice,
// in the back colour over the bar and in the fore colour beside it, so it reads inverted where
// the bar has passed. Button and progress cells ignore the row's selection.
#pragma once

#include <QStyledItemDelegate>

#include "ui/list_cell.h"

namespace fendrel::ui {

class PortListModel;

class PortListDelegate final : public QStyledItemDelegate {
  public:
    PortListDelegate(const PortListModel& model, QObject* parent)
        : QStyledItemDelegate(parent), model_(model) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The three kinds, drawn into `rect` (the whole cell) with the palette of `option`.
    static void PaintText(QPainter& painter, const QStyleOptionViewItem& option,
                          const LIST_CELL& cell, const QRect& rect);
    static void PaintButton(QPainter& painter, const QStyleOptionViewItem& option,
                            const LIST_CELL& cell, const QRect& rect);
    static void PaintProgress(QPainter& painter, const QStyleOptionViewItem& option,
                              const LIST_CELL& cell, const QRect& rect);

  private:
    const PortListModel& model_;
};

}  // namespace fendrel::ui

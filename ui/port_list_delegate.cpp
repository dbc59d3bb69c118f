#include "ui/port_list_delegate.h"

#include <QPainter>

#include "ui/port_list_ctrl.h"

namespace fendrel::ui {
namespace {

const QColor kButtonFill(255, 255, 255);
const QColor kButtonFrame(120, 139, 194);
const QColor kButtonFace(246, 248, 255);

QFont CellFont(const QStyleOptionViewItem& option, const LIST_CELL& cell) {
    return cell.font ? *cell.font : option.font;
}

}  // namespace

void PortListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const LIST_CELL* cell = model_.Cell(index.row(), index.column());
    if (cell == nullptr)
        return;
    painter->save();
    if (cell->button)
        PaintButton(*painter, option, *cell, option.rect);
    else if (cell->progress)
        PaintProgress(*painter, option, *cell, option.rect);
    else
        PaintText(*painter, option, *cell, option.rect);
    painter->restore();
}

void PortListDelegate::PaintText(QPainter& painter, const QStyleOptionViewItem& option,
                                 const LIST_CELL& cell, const QRect& rect) {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    painter.fillRect(rect, selected ? option.palette.color(QPalette::Highlight) : cell.back_color);
    if (cell.text.isEmpty())
        return;
    painter.setFont(CellFont(option, cell));
    painter.setPen(selected ? option.palette.color(QPalette::HighlightedText) : cell.fore_color);
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, cell.text);
}

void PortListDelegate::PaintButton(QPainter& painter, const QStyleOptionViewItem& option,
                                   const LIST_CELL& cell, const QRect& rect) {
    painter.fillRect(rect, kButtonFill);
    QRect face = rect.adjusted(1, 1, -1, -1);
    painter.setPen(kButtonFrame);
    painter.drawRect(face.adjusted(0, 0, -1, -1));  // a 1-pixel line just inside `face`
    face.adjust(1, 1, -1, -1);
    painter.fillRect(face, kButtonFace);
    QRect text_rect = face.adjusted(2, 2, -2, -2);
    if (cell.focused && cell.enabled) {
        QPen dots(option.palette.color(QPalette::WindowText));
        dots.setStyle(Qt::DotLine);
        painter.setPen(dots);
        painter.drawRect(text_rect.adjusted(0, 0, -1, -1));
    }
    if (cell.pressed && cell.enabled)
        text_rect.adjust(2, 2, 0, 0);
    painter.setFont(CellFont(option, cell));
    painter.setPen(cell.enabled ? cell.fore_color
                                : option.palette.color(QPalette::Disabled, QPalette::Text));
    painter.drawText(text_rect, Qt::AlignCenter | Qt::TextSingleLine, cell.button_text);
}

void PortListDelegate::PaintProgress(QPainter& painter, const QStyleOptionViewItem& option,
                                     const LIST_CELL& cell, const QRect& whole) {
    // Drawn one pixel to the right of the cell, as the list always has.
    const QRect rect = whole.translated(1, 0);
    painter.setClipRect(whole);
    painter.fillRect(rect, option.palette.color(QPalette::HighlightedText));
    const QRect frame = rect.adjusted(1, 1, -1, -1);
    painter.setPen(QColor(0, 0, 0));
    painter.drawLine(frame.topLeft(), frame.topRight());
    painter.drawLine(frame.topLeft(), frame.bottomLeft());
    painter.setPen(option.palette.color(QPalette::Dark));
    painter.drawLine(frame.bottomLeft(), frame.bottomRight());
    painter.drawLine(frame.topRight(), frame.bottomRight());
    if (cell.percent < 0)
        return;

    // The bar area: 2 pixels in from the left, top and bottom, 1 from the right.
    const QRect bar(QPoint(rect.left() + 2, rect.top() + 2),
                    QPoint(rect.right() - 1, rect.bottom() - 2));
    const int length = bar.width() * cell.percent / 100;
    const int filled_width = std::max(length - 1, 0);
    const QRect filled(bar.left(), bar.top(), filled_width, bar.height());
    const QRect unfilled(bar.left() + filled_width, bar.top(), bar.width() - filled_width,
                         bar.height());
    painter.fillRect(filled, cell.fore_color);
    if (!cell.show_text)
        return;

    const QString text = ProgressText(cell);
    const QRect text_rect = frame.adjusted(1, 1, -1, -1);
    painter.setFont(CellFont(option, cell));
    painter.setClipRect(filled.intersected(whole));
    painter.setPen(cell.back_color);
    painter.drawText(text_rect, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.setClipRect(unfilled.intersected(whole));
    painter.setPen(cell.fore_color);
    painter.drawText(text_rect, Qt::AlignCenter | Qt::TextSingleLine, text);
}

}  // namespace fendrel::ui

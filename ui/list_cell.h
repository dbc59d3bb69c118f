// One cell of the port list: plain text, a push button or a progress bar, with its colours and
// font.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <optional>

namespace fendrel::ui {

struct LIST_CELL {
    QColor back_color{255, 255, 255};  // text cell background; percentage text over the bar
    QColor fore_color{0, 0, 0};        // text of a text or button cell; bar fill
    std::optional<QFont> font;         // none: the list's font
    bool button = false;               // drawn as a push button (wins over progress)
    QString button_text;
    bool pressed = false;  // the button is held down
    bool focused = false;  // the button was the last one pressed
    bool enabled = true;   // the button takes clicks
    bool progress = false;
    bool show_text = false;  // the bar carries a percentage text
    QString text_format;     // empty: "%d%%"
    int percent = 0;         // at most 100; negative draws an empty frame
    QString text;            // what a text cell shows
    QString tool_tip;        // shown when the pointer rests on the cell
};

// The percentage text of a progress cell: its format with the percent, "45%" for the default.
QString ProgressText(const LIST_CELL& cell);

}  // namespace fendrel::ui

// The port list: its operations, the press / leave / release rules of its buttons, and how it
// draws its three kinds of cell.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>

#include "engine/worker_messages.h"
#include "platform/messages.h"
#include "ui/port_list_ctrl.h"

namespace fendrel::ui {
namespace {

class PortList : public ::testing::Test {
  protected:
    void SetUp() override {
        list.resize(520, 200);
        list.set_notifier(&notifier);
        for (const char* title : {"Operate", "Port", "Progress", "Status"})
            list.InsertColumn(QString::fromLatin1(title), 120);
        for (int row = 0; row < 3; ++row) {
            ASSERT_EQ(list.InsertRow(row, QString()), row);
            list.SetCellButton(row, 0, QStringLiteral("Start"), true);
            list.SetItemText(row, 1, QStringLiteral("COM%1").arg(row + 1));
            list.SetCellProgress(row, 2, true, QString(), 0);
            list.SetItemText(row, 3, QStringLiteral("Unknown"));
        }
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    }
    QPoint Centre(int row, int column) const { return list.GetCellRect(row, column).center(); }
    // Posts reach the notifier at once (the page queues them itself).
    std::vector<platform::PostedMessage> Clicks() const { return notifier.Messages(); }

    platform::RecordingNotifier notifier;
    CPortListCtrl list;
};

TEST_F(PortList, OperationsOutOfRangeChangeNothing) {
    const std::pair<int, int> outside[] = {{-1, 0}, {3, 0}, {0, -1}, {0, 4}};
    for (const auto& [row, column] : outside) {
        SCOPED_TRACE(testing::Message() << row << "," << column);
        EXPECT_FALSE(list.SetCellColors(row, column, Qt::red, Qt::blue));
        EXPECT_FALSE(list.SetCellButton(row, column, QStringLiteral("x"), true));
        EXPECT_FALSE(list.SetCellProgress(row, column, true, QString(), 5));
        EXPECT_FALSE(list.SetCellFont(row, column, QFont()));
        EXPECT_FALSE(list.SetItemText(row, column, QStringLiteral("x")));
        EXPECT_TRUE(list.GetCellRect(row, column).isNull());
        EXPECT_FALSE(list.GetCell(row, column).has_value());
        list.RedrawCell(row, column);  // nothing to do, and no crash
    }
    EXPECT_EQ(list.InsertRow(-1, QString()), -1);
    EXPECT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.InsertRow(99, QStringLiteral("end")), 3);  // past the end: appended
    EXPECT_EQ(list.GetItemText(3, 0), QStringLiteral("end"));
    EXPECT_EQ(list.GetCell(3, 2)->percent, 0);  // fresh cells have the defaults
    EXPECT_EQ(list.GetCell(3, 2)->back_color, QColor(255, 255, 255));
}

TEST_F(PortList, PercentAboveAHundredIsStoredAsAHundred) {
    ASSERT_TRUE(list.SetCellProgress(1, 2, true, QString(), 150));
    EXPECT_EQ(list.GetCell(1, 2)->percent, 100);
    ASSERT_TRUE(list.SetCellProgress(1, 2, true, QString(), -4));
    EXPECT_EQ(list.GetCell(1, 2)->percent, -4);
}

TEST_F(PortList, AReleaseOnThePressedEnabledButtonPostsOneClick) {
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, Centre(1, 0));
    EXPECT_TRUE(list.GetCell(1, 0)->pressed);
    EXPECT_TRUE(Clicks().empty());
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, Centre(1, 0));
    const std::vector<platform::PostedMessage> expected = {
        {WorkerMessages().list_button_click, 1, 0}};
    EXPECT_EQ(Clicks(), expected);
    EXPECT_FALSE(list.GetCell(1, 0)->pressed);
    EXPECT_TRUE(list.GetCell(1, 0)->focused);
    // A button press leaves the selection as it was.
    EXPECT_FALSE(list.selectionModel()->hasSelection());
}

TEST_F(PortList, LeavingThePressedButtonBeforeTheReleasePostsNothing) {
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, Centre(2, 0));
    QMouseEvent away(QEvent::MouseMove, Centre(2, 3), list.viewport()->mapToGlobal(Centre(2, 3)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(list.viewport(), &away);
    EXPECT_FALSE(list.GetCell(2, 0)->pressed);
    QMouseEvent back(QEvent::MouseMove, Centre(2, 0), list.viewport()->mapToGlobal(Centre(2, 0)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(list.viewport(), &back);
    EXPECT_FALSE(list.GetCell(2, 0)->pressed);  // coming back does not press it again
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, Centre(2, 0));
    EXPECT_TRUE(Clicks().empty());
}

TEST_F(PortList, ADisabledButtonTakesThePressButPostsNothing) {
    list.SetCellButton(0, 0, QStringLiteral("Start"), false);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, Centre(0, 0));
    EXPECT_EQ(list.pressed_row(), 0);
    EXPECT_TRUE(list.GetCell(0, 0)->focused);
    EXPECT_TRUE(Clicks().empty());
    // The earlier focus moves to the next pressed button.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, Centre(2, 0));
    EXPECT_FALSE(list.GetCell(0, 0)->focused);
    EXPECT_EQ(list.pressed_row(), 2);
    EXPECT_EQ(Clicks().size(), 1u);
}

TEST_F(PortList, TwoQuickClicksAreTwoClicks) {
    // What the system delivers for a double click: press, release, double click, release.
    const QPoint at = Centre(1, 0);
    const QPoint global = list.viewport()->mapToGlobal(at);
    const std::pair<QEvent::Type, Qt::MouseButtons> steps[] = {
        {QEvent::MouseButtonPress, Qt::LeftButton},
        {QEvent::MouseButtonRelease, Qt::NoButton},
        {QEvent::MouseButtonDblClick, Qt::LeftButton},
        {QEvent::MouseButtonRelease, Qt::NoButton}};
    for (const auto& [type, buttons] : steps) {
        QMouseEvent event(type, at, global, Qt::LeftButton, buttons, {});
        QApplication::sendEvent(list.viewport(), &event);
    }
    const platform::PostedMessage click{WorkerMessages().list_button_click, 1, 0};
    EXPECT_EQ(Clicks(), (std::vector<platform::PostedMessage>{click, click}));
}

TEST_F(PortList, AClickOnATextCellSelectsTheRowAndDeleteAllForgetsThePressedCell) {
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, Centre(2, 3));
    ASSERT_TRUE(list.selectionModel()->isRowSelected(2, {}));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, Centre(1, 0));
    EXPECT_EQ(list.pressed_row(), 1);
    list.DeleteAllRows();
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(list.pressed_row(), 0);
    EXPECT_EQ(list.pressed_column(), 0);
}

// ---- Drawing ----

class PortListDrawing : public PortList {
  protected:
    QImage Grab() { return list.viewport()->grab().toImage(); }
    QColor At(const QImage& image, QPoint point) { return image.pixelColor(point); }
};

TEST_F(PortListDrawing, ProgressFillsItsShareAndInvertsItsText) {
    const QColor fore(0, 0, 255);
    list.SetCellColors(0, 2, QColor(255, 255, 255), fore);
    list.SetCellProgress(0, 2, true, QString(), 45);
    list.SetCellProgress(1, 2, false, QString(), -1);
    const QImage image = Grab();
    const QRect cell = list.GetCellRect(0, 2);
    const int bar_left = cell.left() + 1 + 2;
    const int bar_width = cell.width() - 3;
    const int filled_end = bar_left + bar_width * 45 / 100 - 1;  // first unfilled pixel
    const int y = cell.top() + 3;                                // above the text
    EXPECT_EQ(At(image, {bar_left + 2, y}), fore);
    EXPECT_EQ(At(image, {filled_end - 2, y}), fore);
    EXPECT_NE(At(image, {filled_end + 2, y}), fore);
    EXPECT_EQ(At(image, {cell.left() + 2, cell.top() + 1}), QColor(0, 0, 0));  // frame's top
    // The "45%" text: fore-coloured pixels right of the bar's end, white ones inside it.
    bool fore_text_outside = false, light_text_inside = false;
    for (int x = cell.left(); x <= cell.right(); ++x) {
        for (int text_y = cell.top() + 4; text_y < cell.bottom() - 3; ++text_y) {
            const QColor colour = At(image, {x, text_y});
            if (x > filled_end + 1 && colour == fore)
                fore_text_outside = true;
            if (x < filled_end - 1 && x > bar_left && colour.red() > 128)
                light_text_inside = true;
        }
    }
    EXPECT_TRUE(fore_text_outside);
    EXPECT_TRUE(light_text_inside);
    // A negative percent: an empty box, no bar and no text.
    const QRect empty = list.GetCellRect(1, 2);
    for (int x = empty.left() + 4; x < empty.right() - 3; ++x)
        ASSERT_NE(At(image, {x, empty.center().y()}), fore) << x;
}

TEST_F(PortListDrawing, SelectionColoursTextCellsOnlyAndButtonsShowTheirState) {
    list.SetCellColors(2, 3, QColor(255, 255, 0), QColor(0, 0, 0));
    list.SetCellColors(2, 2, QColor(255, 255, 255), QColor(0, 128, 0));
    list.SetCellProgress(2, 2, false, QString(), 100);
    QImage image = Grab();
    const QRect text_cell = list.GetCellRect(2, 3);
    EXPECT_EQ(At(image, text_cell.topLeft() + QPoint(3, 3)), QColor(255, 255, 0));
    const QRect button = list.GetCellRect(2, 0);
    EXPECT_EQ(At(image, button.topLeft() + QPoint(1, button.height() / 2)), QColor(120, 139, 194));
    EXPECT_EQ(At(image, button.topLeft() + QPoint(3, 3)), QColor(246, 248, 255));

    list.selectRow(2);
    image = Grab();
    const QColor highlight = list.palette().color(QPalette::Highlight);
    EXPECT_EQ(At(image, text_cell.topLeft() + QPoint(3, 3)), highlight);
    EXPECT_EQ(At(image, button.topLeft() + QPoint(3, 3)), QColor(246, 248, 255));
    const QRect bar = list.GetCellRect(2, 2);
    EXPECT_EQ(At(image, bar.center()), QColor(0, 128, 0));
}

}  // namespace
}  // namespace fendrel::ui

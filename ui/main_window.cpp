#include "ui/main_window.h"

#include <QCloseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ini_file.h"
#include "app/text_lookup.h"
#include "platform/prompts.h"
#include "ui/multi_download_page.h"
#include "ui/single_download_page.h"

namespace fendrel::ui {
namespace {

QString Text(int id) {
    return QString::fromStdString(GetText(id));
}

// The button column left of the page area.
constexpr int kButtonColumnWidth = 128;
constexpr QSize kPageButtonSize(124, 68);
constexpr int kIconSize = 32;

QToolButton* PageButton(QWidget* parent, int id, int caption, int top) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::number(id));
    button->setText(Text(caption));
    button->setIcon(StationIcon());
    button->setIconSize(QSize(kIconSize, kIconSize));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);  // flat
    button->setGeometry(QRect(QPoint(2, top), kPageButtonSize));
    return button;
}

}  // namespace

QIcon StationIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 60, 120), 3));
    painter.setBrush(QColor(120, 139, 194));
    painter.drawRoundedRect(QRectF(16, 4, 32, 56), 6, 6);
    painter.setBrush(QColor(246, 248, 255));
    painter.drawRect(QRectF(21, 11, 22, 34));
    QPainterPath arrow;
    arrow.moveTo(32, 16);
    arrow.lineTo(32, 34);
    arrow.moveTo(25, 27);
    arrow.lineTo(32, 35);
    arrow.lineTo(39, 27);
    painter.setPen(QPen(QColor(0, 128, 0), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(arrow);
    painter.end();
    return QIcon(pixmap);
}

CQUEXView::CQUEXView(const PageServices& services, QWidget* parent)
    : QWidget(parent),
      multi_button_(
          PageButton(this, 1037, text::kMultiDownloadButton, 4 + kPageButtonSize.height())),
      single_button_(PageButton(this, 1000, text::kSingleDownloadButton, 2)) {
    // Hidden and disabled until the single page is first shown.
    multi_button_->setVisible(false);
    multi_button_->setEnabled(false);
    connect(single_button_, &QToolButton::clicked, this, [this] { ShowSinglePage(); });
    connect(multi_button_, &QToolButton::clicked, this, [this] { ShowMultiPage(); });

    pages_value_ = CIniFile(services.config_path).GetInt(config::kPages);
    if (pages_value_ == 2)
        single_button_->setVisible(false);

    pages_.AddPage(
        kSinglePageId,
        [services](QWidget* view) { return new CSingleDownloadPage(services, view); }, this);
    pages_.AddPage(
        kMultiPageId, [services](QWidget* view) { return new CMultiDownloadPage(services, view); },
        this);
    pages_.CreatePage(kSinglePageId);
    pages_.CreatePage(kMultiPageId);
    // The page area: right of the buttons, as wide as the wider page asks and at least 800.
    QSize wanted(kPageAreaWidth, 2 * kPageButtonSize.height() + 8);
    for (const int id : {kSinglePageId, kMultiPageId}) {
        wanted = wanted.expandedTo(pages_.Page(id)->sizeHint());
    }
    pages_.SetPageArea(QRect(QPoint(kButtonColumnWidth, 0), wanted));
    pages_.MovePages(pages_.page_area());
    setFixedSize(kButtonColumnWidth + wanted.width(), wanted.height());
    ShowMultiPage();
}

CSingleDownloadPage* CQUEXView::single_page() const {
    return static_cast<CSingleDownloadPage*>(pages_.Page(kSinglePageId));
}

CMultiDownloadPage* CQUEXView::multi_page() const {
    return static_cast<CMultiDownloadPage*>(pages_.Page(kMultiPageId));
}

void CQUEXView::ShowSinglePage() {
    pages_.ShowPage(kSinglePageId);
    if (pages_value_ != 1) {
        multi_button_->setEnabled(true);
        multi_button_->setVisible(true);
    }
}

void CQUEXView::ShowMultiPage() {
    pages_.ShowPage(kMultiPageId);
}

void CQUEXView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    QRect rect = this->rect();
    rect.setLeft(pages_.page_area().left());
    if (rect.width() < pages_.page_area().width())
        rect.setWidth(pages_.page_area().width());
    pages_.MovePages(rect);
}

CMainFrame::CMainFrame(const PageServices& services)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      view_(new CQUEXView(services, this)) {
    setWindowTitle(Text(text::kProductName) + QLatin1Char(' ') + Text(text::kProductVersion));
    setWindowIcon(StationIcon());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // the frame cannot be resized
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    const platform::PromptAnswer answer = platform::CurrentPrompts().ShowMessage(
        GetText(text::kConfirmExit), GetText(text::kProductName),
        platform::PromptButtons::kOkCancel, platform::PromptIcon::kInformation);
    if (answer == platform::PromptAnswer::kOk)
        event->accept();
    else
        event->ignore();
}

}  // namespace fendrel::ui

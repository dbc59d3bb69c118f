// The main window: CMainFrame, a fixed-size frame with a caption and a close box only, around
// CQUEXView, the column of page buttons and the page area with the two download pages.
//
// Both pages are made at start; the multi-download page is shown first. Button 1000 shows the
// single-download page and button 1037 the multi-download page; 1037 appears once the single
// page has been shown, so an operator can always go back. INTERFACE PAGES 1 hides 1037 for good,
// PAGES 2 hides 1000.
#pragma once

#include <QToolButton>
#include <QWidget>

#include "ui/download_page.h"
#include "ui/page_manager.h"

namespace fendrel::ui {

class CMultiDownloadPage;
class CSingleDownloadPage;

class CQUEXView final : public QWidget {
  public:
    // The pages' dialog ids, by which the page manager knows them.
    static constexpr int kSinglePageId = 102;
    static constexpr int kMultiPageId = 216;
    // The page area's width at least.
    static constexpr int kPageAreaWidth = 800;

    CQUEXView(const PageServices& services, QWidget* parent = nullptr);

    CSingleDownloadPage* single_page() const;
    CMultiDownloadPage* multi_page() const;
    QToolButton* multi_button() const { return multi_button_; }    // 1037
    QToolButton* single_button() const { return single_button_; }  // 1000
    CPageManager& pages() { return pages_; }

    void ShowSinglePage();
    void ShowMultiPage();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QToolButton* multi_button_;
    QToolButton* single_button_;
    CPageManager pages_;
    int pages_value_ = 0;  // INTERFACE PAGES
};

class CMainFrame final : public QWidget {
  public:
    explicit CMainFrame(const PageServices& services);
    CQUEXView& view() { return *view_; }

  protected:
    // Asks text 210 with OK and Cancel; only OK closes (and so stops the workers).
    void closeEvent(QCloseEvent* event) override;

  private:
    CQUEXView* view_;
};

// The page buttons' icon (and the window's).
QIcon StationIcon();

}  // namespace fendrel::ui

// CPageManager: the main view's list of pages, each made once and shown one at a time in the
// page area.
#pragma once

#include <QRect>
#include <QWidget>
#include <functional>
#include <vector>

namespace fendrel::ui {

class CPageManager {
  public:
    using Factory = std::function<QWidget*(QWidget* parent)>;

    void SetPageArea(const QRect& area) { area_ = area; }
    const QRect& page_area() const { return area_; }

    // Records page `id` made by `factory` as a child of `parent`.
    void AddPage(int id, Factory factory, QWidget* parent);
    // Makes the page when it does not exist yet and moves it to the page area; nothing for an
    // unknown id.
    void CreatePage(int id);
    // Creates the page, then shows it and hides every other; the number of pages.
    int ShowPage(int id);
    // The page's window, null before it is made or for an unknown id.
    QWidget* Page(int id) const;
    // Every page that exists gets `rect`.
    void MovePages(const QRect& rect);

  private:
    struct Record {
        int id;
        Factory factory;
        QWidget* parent;
        QWidget* window = nullptr;  // owned by its parent
    };
    Record* Find(int id);

    std::vector<Record> records_;
    QRect area_;
};

}  // namespace fendrel::ui

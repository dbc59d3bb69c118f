#include "ui/page_manager.h"

namespace fendrel::ui {

void CPageManager::AddPage(int id, Factory factory, QWidget* parent) {
    records_.push_back(Record{id, std::move(factory), parent});
}

CPageManager::Record* CPageManager::Find(int id) {
    for (Record& record : records_) {
        if (record.id == id)
            return &record;
    }
    return nullptr;
}

void CPageManager::CreatePage(int id) {
    Record* record = Find(id);
    if (record == nullptr || record->window != nullptr)
        return;
    record->window = record->factory(record->parent);
    record->window->setGeometry(area_);
}

int CPageManager::ShowPage(int id) {
    CreatePage(id);
    for (const Record& record : records_) {
        if (record.window != nullptr)
            record.window->setVisible(record.id == id);
    }
    return static_cast<int>(records_.size());
}

QWidget* CPageManager::Page(int id) const {
    for (const Record& record : records_) {
        if (record.id == id)
            return record.window;
    }
    return nullptr;
}

void CPageManager::MovePages(const QRect& rect) {
    for (const Record& record : records_) {
        if (record.window != nullptr)
            record.window->setGeometry(rect);
    }
}

}  // namespace fendrel::ui

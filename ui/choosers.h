// The folder and file choosers of the download pages, behind an interface so tests answer them.
#pragma once

#include <QString>
#include <optional>
#include <string>

class QWidget;

namespace fendrel::ui {

class Choosers {
  public:
    virtual ~Choosers() = default;
    // The chosen folder, none when cancelled.
    virtual std::optional<std::string> ChooseFolder(QWidget* owner, const QString& title) = 0;
    // An existing file to open, none when cancelled. `filter` in Qt's form ("XML (*.xml)").
    virtual std::optional<std::string> ChooseOpenFile(QWidget* owner, const QString& title,
                                                      const QString& initial_name,
                                                      const QString& filter) = 0;
};

// The real dialogs.
class DialogChoosers final : public Choosers {
  public:
    std::optional<std::string> ChooseFolder(QWidget* owner, const QString& title) override;
    std::optional<std::string> ChooseOpenFile(QWidget* owner, const QString& title,
                                              const QString& initial_name,
                                              const QString& filter) override;
};

}  // namespace fendrel::ui

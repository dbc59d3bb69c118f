#include "ui/choosers.h"

#include <QFileDialog>

namespace fendrel::ui {

std::optional<std::string> DialogChoosers::ChooseFolder(QWidget* owner, const QString& title) {
    const QString folder = QFileDialog::getExistingDirectory(owner, title);
    if (folder.isEmpty())
        return std::nullopt;
    return folder.toStdString();
}

std::optional<std::string> DialogChoosers::ChooseOpenFile(QWidget* owner, const QString& title,
                                                          const QString& initial_name,
                                                          const QString& filter) {
    QFileDialog dialog(owner, title, {}, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.selectFile(initial_name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

}  // namespace fendrel::ui

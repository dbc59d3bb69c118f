#include "ui/qt_prompts.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "app/text_lookup.h"

namespace fendrel::ui {
namespace {

QMessageBox::Icon BoxIcon(platform::PromptIcon icon) {
    switch (icon) {
        case platform::PromptIcon::kInformation:
            return QMessageBox::Information;
        case platform::PromptIcon::kWarning:
            return QMessageBox::Warning;
        case platform::PromptIcon::kError:
            return QMessageBox::Critical;
        case platform::PromptIcon::kNone:
            break;
    }
    return QMessageBox::NoIcon;
}

// Runs `show` on the window's thread and returns its answer.
platform::PromptAnswer OnWindowThread(const std::function<platform::PromptAnswer()>& show) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || QThread::currentThread() == application->thread())
        return show();
    platform::PromptAnswer answer = platform::PromptAnswer::kCancel;
    QMetaObject::invokeMethod(
        application, [&] { answer = show(); }, Qt::BlockingQueuedConnection);
    return answer;
}

}  // namespace

platform::PromptAnswer QtPrompts::ShowMessage(std::string_view text, std::string_view caption,
                                              platform::PromptButtons buttons,
                                              platform::PromptIcon icon) {
    const QString box_text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    // A box without a caption of its own carries the product's name, as the framework's do.
    const QString box_caption =
        caption.empty() ? QString::fromStdString(GetText(text::kProductName))
                        : QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    return OnWindowThread([&] {
        QMessageBox box(BoxIcon(icon), box_caption, box_text,
                        buttons == platform::PromptButtons::kOkCancel
                            ? QMessageBox::Ok | QMessageBox::Cancel
                            : QMessageBox::Ok,
                        QApplication::activeWindow());
        return box.exec() == QMessageBox::Ok ? platform::PromptAnswer::kOk
                                             : platform::PromptAnswer::kCancel;
    });
}

void QtPrompts::Beep(unsigned, std::chrono::milliseconds) {
    OnWindowThread([] {
        QApplication::beep();
        return platform::PromptAnswer::kOk;
    });
}

}  // namespace fendrel::ui

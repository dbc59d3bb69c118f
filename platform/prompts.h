// Prompts: the operator-facing message boxes and beeps of the product.
//
// The engine and the tools never draw anything; they ask the installed Prompts. The window
// shows real dialogs, the console programs write to the terminal, tests record what was asked.
// Calls may come from any thread (a worker's NV store reports its file errors from the worker).
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class PromptButtons { kOk, kOkCancel };
enum class PromptIcon { kNone, kInformation, kWarning, kError };
enum class PromptAnswer { kOk, kCancel };

class Prompts {
  public:
    virtual ~Prompts() = default;
    // A modal message; returns when the operator has answered.
    virtual PromptAnswer ShowMessage(std::string_view text, std::string_view caption,
                                     PromptButtons buttons, PromptIcon icon) = 0;
    // A file error in an OK box: `text` is the product's own wording, which often cannot name
    // the file; `detail` names it and the fault. A box shows the text alone; the terminal shows
    // both.
    virtual void ShowFileError(std::string_view text, std::string_view detail);
    virtual void Beep(unsigned frequency_hz, std::chrono::milliseconds duration) = 0;
};

// Messages and beeps on the terminal: standard error, answered with OK; a beep is a bell
// character there.
Prompts& TerminalPrompts();

// The system's own message boxes and speaker, for programs without a window of their own or a
// terminal (Tarnwick): MessageBoxA and Beep on Windows. POSIX has no such boxes below a window
// toolkit: there these are the terminal's.
Prompts& SystemPrompts();

// The process-wide prompts. Until something is installed, messages go to standard error and are
// answered with OK, and beeps are a bell character there.
Prompts& CurrentPrompts();

// Installs `prompts` (not owned; it must outlive its installation), or the terminal default
// again when null. Install before starting threads that may prompt.
void InstallPrompts(Prompts* prompts);

// Convenience for the common case: an OK box without caption.
inline void ShowMessage(std::string_view text) {
    CurrentPrompts().ShowMessage(text, {}, PromptButtons::kOk, PromptIcon::kNone);
}

inline void ShowFileError(std::string_view text, std::string_view detail) {
    CurrentPrompts().ShowFileError(text, detail);
}

// Records every call, answering with `answer`. For tests.
class RecordingPrompts final : public Prompts {
  public:
    struct Message {
        std::string text;
        std::string caption;
        PromptButtons buttons;
        PromptIcon icon;
        std::string detail;  // of a file error
    };

    explicit RecordingPrompts(PromptAnswer answer = PromptAnswer::kOk) : answer_(answer) {}

    PromptAnswer ShowMessage(std::string_view text, std::string_view caption, PromptButtons buttons,
                             PromptIcon icon) override;
    void ShowFileError(std::string_view text, std::string_view detail) override;
    void Beep(unsigned frequency_hz, std::chrono::milliseconds duration) override;

    std::vector<Message> Messages() const;
    std::vector<std::string> Texts() const;
    int BeepCount() const;

  private:
    const PromptAnswer answer_;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    int beeps_ = 0;
};

// Installs a Prompts for the lifetime of the guard (tests).
class ScopedPrompts {
  public:
    explicit ScopedPrompts(Prompts& prompts) { InstallPrompts(&prompts); }
    ~ScopedPrompts() { InstallPrompts(nullptr); }
    ScopedPrompts(const ScopedPrompts&) = delete;
    ScopedPrompts& operator=(const ScopedPrompts&) = delete;
};

}  // namespace platform

#include "platform/prompts.h"

#include <atomic>
#include <cstdio>

namespace platform {
namespace {

class TerminalLines final : public Prompts {
  public:
    PromptAnswer ShowMessage(std::string_view text, std::string_view caption, PromptButtons,
                             PromptIcon) override {
        std::lock_guard lock(mutex_);
        if (!caption.empty()) {
            std::fprintf(stderr, "%.*s: ", static_cast<int>(caption.size()), caption.data());
        }
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        return PromptAnswer::kOk;
    }
    void ShowFileError(std::string_view text, std::string_view detail) override {
        if (detail.empty()) {
            ShowMessage(text, {}, PromptButtons::kOk, PromptIcon::kNone);
            return;
        }
        std::lock_guard lock(mutex_);
        std::fprintf(stderr, "%.*s (%.*s)\n", static_cast<int>(text.size()), text.data(),
                     static_cast<int>(detail.size()), detail.data());
    }
    void Beep(unsigned, std::chrono::milliseconds) override {
        std::lock_guard lock(mutex_);
        std::fputc('\a', stderr);
    }

  private:
    std::mutex mutex_;
};

TerminalLines g_terminal;
std::atomic<Prompts*> g_installed{nullptr};

}  // namespace

Prompts& TerminalPrompts() {
    return g_terminal;
}

void Prompts::ShowFileError(std::string_view text, std::string_view) {
    ShowMessage(text, {}, PromptButtons::kOk, PromptIcon::kNone);
}

Prompts& CurrentPrompts() {
    Prompts* installed = g_installed.load();
    return installed != nullptr ? *installed : g_terminal;
}

void InstallPrompts(Prompts* prompts) {
    g_installed.store(prompts);
}

PromptAnswer RecordingPrompts::ShowMessage(std::string_view text, std::string_view caption,
                                           PromptButtons buttons, PromptIcon icon) {
    std::lock_guard lock(mutex_);
    messages_.push_back({std::string(text), std::string(caption), buttons, icon, {}});
    return answer_;
}

void RecordingPrompts::ShowFileError(std::string_view text, std::string_view detail) {
    std::lock_guard lock(mutex_);
    messages_.push_back(
        {std::string(text), {}, PromptButtons::kOk, PromptIcon::kNone, std::string(detail)});
}

void RecordingPrompts::Beep(unsigned, std::chrono::milliseconds) {
    std::lock_guard lock(mutex_);
    ++beeps_;
}

std::vector<RecordingPrompts::Message> RecordingPrompts::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> RecordingPrompts::Texts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const Message& message : messages_)
        texts.push_back(message.text);
    return texts;
}

int RecordingPrompts::BeepCount() const {
    std::lock_guard lock(mutex_);
    return beeps_;
}

}  // namespace platform

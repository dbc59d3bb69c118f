// The system's message boxes and speaker on Windows: MessageBoxA and Beep.
#include <windows.h>

#include <string>

#include "platform/prompts.h"

namespace platform {
namespace {

UINT IconStyle(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::kInformation:
            return MB_ICONINFORMATION;
        case PromptIcon::kWarning:
            return MB_ICONWARNING;
        case PromptIcon::kError:
            return MB_ICONERROR;
        case PromptIcon::kNone:
            break;
    }
    return 0;
}

class MessageBoxes final : public Prompts {
  public:
    PromptAnswer ShowMessage(std::string_view text, std::string_view caption, PromptButtons buttons,
                             PromptIcon icon) override {
        const std::string body(text);
        const std::string title(caption);
        const UINT style = (buttons == PromptButtons::kOkCancel ? MB_OKCANCEL : MB_OK) |
                           IconStyle(icon) | MB_SETFOREGROUND;
        const int answer =
            MessageBoxA(nullptr, body.c_str(), title.empty() ? nullptr : title.c_str(), style);
        return answer == IDCANCEL ? PromptAnswer::kCancel : PromptAnswer::kOk;
    }
    void Beep(unsigned frequency_hz, std::chrono::milliseconds duration) override {
        ::Beep(frequency_hz, static_cast<DWORD>(duration.count()));
    }
};

}  // namespace

Prompts& SystemPrompts() {
    static MessageBoxes boxes;
    return boxes;
}

}  // namespace platform

// The station's prompts as real message boxes. A prompt from a worker thread is shown by the
// window's thread, and the worker waits for the answer there.
#pragma once

#include "platform/prompts.h"

namespace fendrel::ui {

class QtPrompts final : public platform::Prompts {
  public:
    platform::PromptAnswer ShowMessage(std::string_view text, std::string_view caption,
                                       platform::PromptButtons buttons,
                                       platform::PromptIcon icon) override;
    // Qt has no tone of a given pitch; the system's bell stands for every beep.
    void Beep(unsigned frequency_hz, std::chrono::milliseconds duration) override;
};

}  // namespace fendrel::ui

// Tarnwick's application object: it runs the main dialog once and ends with it.
#pragma once

namespace tarnwick {

class CTarnwickApp {
  public:
    // The framework's start: builds the dialog on the real services (the system clock, this
    // host, this user's settings store), runs it and answers false, so the program ends when the
    // dialog has. Nothing is drawn: the dialog closes itself before it could be shown.
    bool InitInstance();

    // 0 once the dialog has run; 2 when it could not be built (the host could not be told).
    int exit_code() const { return exit_code_; }

  private:
    int exit_code_ = 0;
};

}  // namespace tarnwick

// Tarnwick's application object: it runs the main dialog once and ends with it.
#pragma once

#include "platform/clock.h"

namespace tarnwick {

class CTarnwickApp {
  public:
    // `clock` takes every pause of the run: the system clock in the program.
    explicit CTarnwickApp(platform::Clock& clock) : clock_(clock) {}

    // The framework's start: builds the dialog on the real services (this host, this user's
    // settings store) and the app's clock, runs it and answers false, so the program ends when
    // the dialog has. Nothing is drawn: the dialog closes itself before it could be shown.
    bool InitInstance();

    // 0 once the dialog has run; 2 when it could not be built (the host could not be told).
    int exit_code() const { return exit_code_; }

  private:
    platform::Clock& clock_;
    int exit_code_ = 0;
};

// The whole program on `clock`: it takes no arguments (any argument gets the usage and exit
// status 2), runs the application and answers its exit code.
int RunTarnwick(int argc, char** argv, platform::Clock& clock);

}  // namespace tarnwick

// tarnwick: installs the phones' USB drivers once on this machine. It takes no arguments.
#include <cstdio>

#include "driverinstall/tarnwick_app.h"

namespace {

constexpr int kUsageError = 2;

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        // Anything on the command line is more likely a request for help than for an install.
        std::fprintf(stderr,
                     "usage: %s\n"
                     "Removes the phones' USB device entries, installs their drivers from the\n"
                     "32bit and 64bit folders and records the install in the registry; a run\n"
                     "after a recorded install does nothing. It takes no arguments.\n",
                     argv[0]);
        return kUsageError;
    }
    tarnwick::CTarnwickApp app;
    app.InitInstance();
    return app.exit_code();
}

// tarnwick: installs the phones' USB drivers once on this machine.
#include "driverinstall/tarnwick_app.h"
#include "platform/clock.h"
#include "version/version_option.h"

int main(int argc, char** argv) {
    if (fendrel::ShowVersionIfAsked(argc, argv, "tarnwick"))
        return 0;
    return tarnwick::RunTarnwick(argc, argv, platform::SystemClock());
}

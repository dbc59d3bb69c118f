// tarnwick: installs the phones' USB drivers once on this machine.
#include "driverinstall/tarnwick_app.h"
#include "platform/clock.h"

int main(int argc, char** argv) {
    return tarnwick::RunTarnwick(argc, argv, platform::SystemClock());
}

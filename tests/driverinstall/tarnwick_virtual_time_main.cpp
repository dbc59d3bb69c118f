// The tarnwick program with its pauses in virtual time: the same program in every other respect
// (its arguments, host, settings store, folders and tools), so that the tests of whole runs do
// not wait the run's seconds of fixed pauses for real, nor depend on how long they take.
#include "driverinstall/tarnwick_app.h"
#include "platform/clock.h"

int main(int argc, char** argv) {
    platform::VirtualClock clock;
    return tarnwick::RunTarnwick(argc, argv, clock);
}

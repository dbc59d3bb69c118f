// Tarnwick.exe: installs the phones' USB drivers once on this machine. A program of the Windows
// subsystem without a window of its own: what it has to tell goes to message boxes.
#include <windows.h>

#include <cstdlib>

#include "driverinstall/tarnwick_app.h"
#include "platform/clock.h"
#include "platform/prompts.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    platform::InstallPrompts(&platform::SystemPrompts());
    return tarnwick::RunTarnwick(__argc, __argv, platform::SystemClock());
}

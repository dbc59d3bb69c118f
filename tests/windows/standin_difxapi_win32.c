/* The Windows stand-in for DIFxAPI.dll, placed as 32bit\DIFxAPI.dll: it records every call with
 * the INF file's name and the flags. */
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include "tests/driverinstall/standin_transcript.h"

static void Record(const char* call, const wchar_t* inf_path, DWORD flags) {
    const wchar_t* name =
        wcsrchr(inf_path, L'\\') != NULL ? wcsrchr(inf_path, L'\\') + 1 : inf_path;
    char line[1024];
    snprintf(line, sizeof line, "%s(%ls, 0x%lx)", call, name, (unsigned long)flags);
    standin_record(line);
}

__declspec(dllexport) DWORD WINAPI DriverPackagePreinstallW(const wchar_t* inf_path, DWORD flags) {
    Record("DriverPackagePreinstallW", inf_path, flags);
    return 0;
}

__declspec(dllexport) DWORD WINAPI DriverPackageInstallW(const wchar_t* inf_path, DWORD flags,
                                                         const void* installer, BOOL* reboot) {
    (void)installer;
    (void)reboot;
    Record("DriverPackageInstallW", inf_path, flags);
    return 0;
}

/* The Windows stand-in for devcon.exe and DPInst.exe, placed under those names: it records its
 * file name and the command line it was given after the program's name, then ends. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "tests/driverinstall/standin_transcript.h"

int main(void) {
    char module[MAX_PATH] = "";
    GetModuleFileNameA(NULL, module, MAX_PATH);
    const char* name = strrchr(module, '\\') != NULL ? strrchr(module, '\\') + 1 : module;
    /* The arguments as the command line holds them, past the (possibly quoted) program name. */
    const char* rest = GetCommandLineA();
    const int quoted = *rest == '"';
    rest += quoted;
    while (*rest != '\0' && (quoted ? *rest != '"' : *rest != ' '))
        ++rest;
    rest += *rest == '"';
    while (*rest == ' ')
        ++rest;
    char line[8192];
    snprintf(line, sizeof line, "%s %s", name, rest);
    standin_record(line);
    return 0;
}

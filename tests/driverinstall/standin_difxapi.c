/* The stand-in for the driver-package library, placed as 32bit/libDIFxAPI.so. It records its
 * loading (with the path it was loaded from), every call with its arguments, and its unloading.
 * Built with STANDIN_WITHOUT_PREINSTALL it lacks DriverPackagePreinstallW. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

#include "standin_transcript.h"

#define EXPORT __attribute__((visibility("default")))

enum { kLineSize = 16384 };

/* The wide path as UTF-8, as the test wrote it. */
static void Utf8(const wchar_t* wide, char* out, size_t size) {
    size_t at = 0;
    for (; *wide != L'\0' && at + 5 < size; ++wide) {
        const uint32_t code = (uint32_t)*wide;
        if (code < 0x80) {
            out[at++] = (char)code;
        } else if (code < 0x800) {
            out[at++] = (char)(0xC0 | (code >> 6));
            out[at++] = (char)(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out[at++] = (char)(0xE0 | (code >> 12));
            out[at++] = (char)(0x80 | ((code >> 6) & 0x3F));
            out[at++] = (char)(0x80 | (code & 0x3F));
        } else {
            out[at++] = (char)(0xF0 | (code >> 18));
            out[at++] = (char)(0x80 | ((code >> 12) & 0x3F));
            out[at++] = (char)(0x80 | ((code >> 6) & 0x3F));
            out[at++] = (char)(0x80 | (code & 0x3F));
        }
    }
    out[at] = '\0';
}

__attribute__((constructor)) static void Loaded(void) {
    Dl_info self;
    char line[kLineSize];
    snprintf(line, sizeof line, "DIFxAPI loaded from %s",
             dladdr((void*)Loaded, &self) != 0 ? self.dli_fname : "?");
    standin_record(line);
}

__attribute__((destructor)) static void Unloaded(void) {
    standin_record("DIFxAPI unloaded");
}

#ifndef STANDIN_WITHOUT_PREINSTALL
EXPORT uint32_t DriverPackagePreinstallW(const wchar_t* inf_path, uint32_t flags) {
    char path[kLineSize / 2];
    char line[kLineSize];
    Utf8(inf_path, path, sizeof path);
    snprintf(line, sizeof line, "DriverPackagePreinstallW(%s, 0x%x)", path, (unsigned)flags);
    standin_record(line);
    return 0;
}
#endif

EXPORT uint32_t DriverPackageInstallW(const wchar_t* inf_path, uint32_t flags,
                                      const void* installer, int* need_reboot) {
    char path[kLineSize / 2];
    char line[kLineSize];
    Utf8(inf_path, path, sizeof path);
    snprintf(line, sizeof line, "DriverPackageInstallW(%s, 0x%x, %s, %s)", path, (unsigned)flags,
             installer == NULL ? "null" : "installer", need_reboot == NULL ? "null" : "reboot");
    standin_record(line);
    return 0;
}

/* The stand-in for devcon.exe and DPInst.exe, placed under those names. It records how it was
 * started: its name, every argument, where its standard handles lead and its current folder;
 * then it writes a line of output and ends.
 *
 * Started as DPInst.exe with $TARNWICK_DPINST_PID_FILE set, it hands over to a second process of
 * its own, as an installer may: that one records that it keeps running, writes its process id to
 * the file, lets go of the output and runs until it receives a signal (or a minute has passed,
 * so that nothing outlives a broken test for long); the one that was started ends at once. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "standin_transcript.h"

enum { kLineSize = 16384, kLingerLimitSeconds = 60 };

static const char* FileName(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash != NULL ? slash + 1 : path;
}

static void Append(char* line, const char* text) {
    strncat(line, text, kLineSize - strlen(line) - 1);
}

/* "null" when the descriptor reads /dev/null, "pipe" for a pipe, else "other". */
static const char* Kind(int fd) {
    struct stat handle, null_device;
    if (fstat(fd, &handle) != 0)
        return "closed";
    if (S_ISFIFO(handle.st_mode))
        return "pipe";
    if (stat("/dev/null", &null_device) == 0 && S_ISCHR(handle.st_mode) &&
        handle.st_rdev == null_device.st_rdev)
        return "null";
    return "other";
}

static int SameFile(int a, int b) {
    struct stat first, second;
    return fstat(a, &first) == 0 && fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

static void Linger(const char* name, const char* pid_file) {
    char line[256];
    snprintf(line, sizeof line, "%s keeps running", name);
    standin_record(line);

    char temporary[4096];
    snprintf(temporary, sizeof temporary, "%s.tmp", pid_file);
    FILE* file = fopen(temporary, "w");
    if (file != NULL) {
        fprintf(file, "%ld\n", (long)getpid());
        fclose(file);
        rename(temporary, pid_file);
    }
    const int null_device = open("/dev/null", O_WRONLY);
    dup2(null_device, 1);
    dup2(null_device, 2);
    close(null_device);
    alarm(kLingerLimitSeconds);
    for (;;)
        pause();
}

int main(int argc, char** argv) {
    (void)argc;
    const char* name = FileName(argv[0]);
    static char line[kLineSize];
    Append(line, name);
    Append(line, ":");
    for (char** argument = argv; *argument != NULL; ++argument) {
        Append(line, " [");
        Append(line, *argument);
        Append(line, "]");
    }
    Append(line, " in=");
    Append(line, Kind(0));
    Append(line, " out=");
    Append(line, Kind(1));
    Append(line, SameFile(1, 2) ? " err=out" : " err=");
    if (!SameFile(1, 2))
        Append(line, Kind(2));
    char folder[4096];
    Append(line, " cwd=");
    Append(line, getcwd(folder, sizeof folder) != NULL ? folder : "?");
    standin_record(line);

    const char* pid_file = getenv("TARNWICK_DPINST_PID_FILE");
    if (strcmp(name, "DPInst.exe") == 0 && pid_file != NULL && fork() == 0)
        Linger(name, pid_file);

    static const char output[] = "stand-in tool: done\n";
    if (write(1, output, sizeof output - 1) < 0)
        return 1;
    return 0;
}

// Scripts: the small command files the station writes and runs, the stand-in for the batch files
// of Windows. A script changes to the folder it lies in and runs one command there, so the
// command's relative file names mean that folder.
//
// POSIX: "<stem>.sh", run by /bin/sh; every word of the command in single quotes. Windows:
// "<stem>.bat", run by cmd.exe; every word in double quotes.
//
// Blocking: never (nothing here touches a file). Any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The file name of the script `stem`: "upgrade-COM3.sh".
std::string ScriptFileName(std::string_view stem);

// The whole text of a script that changes to its own folder and runs `command` (the program and
// its arguments, each one word, whatever characters it holds). Its exit status is the
// command's, or a failure when the folder cannot be entered.
std::string ScriptText(const std::vector<std::string>& command);

// The command line (for ChildProcess::Start) that runs the script at `path`.
std::string ScriptCommandLine(std::string_view path);

// The Python interpreter a site's Python tools are run with, as a script names it.
std::string PythonInterpreter();

}  // namespace platform

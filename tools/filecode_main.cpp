// fendrel-filecode: checks or stamps the integrity line of a configuration file.
//
//   fendrel-filecode check FILE   exit 0 when the line matches, 1 when not, 2 when unreadable
//   fendrel-filecode stamp FILE   writes the matching line into FILE (exit 0, or 2 on failure)
//   fendrel-filecode --help       (or -h) this usage on standard output, exit 0
//   fendrel-filecode --version    the version on standard output, exit 0
#include <cstdio>
#include <string>
#include <string_view>

#include "app/file_code.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "tools/file_code_stamp.h"
#include "version/version_option.h"

namespace {

constexpr int kMatches = 0;
constexpr int kDoesNotMatch = 1;
constexpr int kCannotRead = 2;
constexpr int kHelpShown = 0;

int Usage(std::FILE* to, int status) {
    std::fprintf(to,
                 "usage: fendrel-filecode check FILE\n"
                 "       fendrel-filecode stamp FILE\n"
                 "       fendrel-filecode --help\n"
                 "       fendrel-filecode --version\n"
                 "check: says whether FILE's FILECODE line matches and prints the expected line\n"
                 "       (exit 0 matches, 1 does not match, 2 cannot be read)\n"
                 "stamp: replaces FILE's last FILECODE line, or appends one, keeping all other "
                 "bytes\n");
    return status;
}

int Check(const std::string& path) {
    const fendrel::FileCodeReport report = fendrel::ExamineConfigFile(path);
    if (!report.readable) {
        std::fprintf(stderr, "fendrel-filecode: %s\n", report.error.c_str());
        return kCannotRead;
    }
    if (report.matches()) {
        std::printf("%s: integrity line matches\n%s\n", path.c_str(), report.expected_line.c_str());
        return kMatches;
    }
    std::printf(
        "%s: integrity line %s\nexpected: %s\n", path.c_str(),
        report.stored_line.empty() ? "missing" : ("does not match: " + report.stored_line).c_str(),
        report.expected_line.c_str());
    return kDoesNotMatch;
}

int Stamp(const std::string& path) {
    std::string error;
    const std::optional<std::string> bytes =
        platform::ReadFileBytes(path, platform::kMaxProfileFileSize, &error);
    if (!bytes) {
        std::fprintf(stderr, "fendrel-filecode: %s\n", error.c_str());
        return kCannotRead;
    }
    const std::string stamped = fendrel::StampConfigText(*bytes);
    if (!platform::WriteFileAtomically(path, stamped, &error)) {
        std::fprintf(stderr, "fendrel-filecode: %s\n", error.c_str());
        return kCannotRead;
    }
    std::printf("%s: %s\n", path.c_str(),
                fendrel::ExamineConfigText(stamped).expected_line.c_str());
    return kMatches;
}

}  // namespace

int main(int argc, char** argv) {
    if (fendrel::ShowVersionIfAsked(argc, argv, "fendrel-filecode"))
        return 0;
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h"))
        return Usage(stdout, kHelpShown);
    if (argc != 3)
        return Usage(stderr, kCannotRead);
    const std::string_view command = argv[1];
    if (command == "check")
        return Check(argv[2]);
    if (command == "stamp")
        return Stamp(argv[2]);
    return Usage(stderr, kCannotRead);
}

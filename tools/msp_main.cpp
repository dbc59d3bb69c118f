// fendrel-msp: writes an image set to a whole disk as its rawprogram and patch files lay it out.
// The station's raw programmer for phones whose flash shows as a disk; see tools/msp_options.h
// for the command line.
//
// Nothing is written before everything has been checked: the target (a whole disk the system
// lists, or a disk image file; writable; nothing mounted, held or running from it), the layout
// files, every image file and that every region and patch fits the disk. A refusal names the file
// and the element and leaves the disk as it was.
#include <cstdio>
#include <iostream>
#include <span>
#include <string>

#include "qcom/raw_program.h"
#include "tools/msp_options.h"
#include "tools/msp_target.h"
#include "tools/msp_writer.h"
#include "version/version_option.h"

namespace {

constexpr int kWritten = 0;
constexpr int kNotWritten = 1;
constexpr int kUsageError = 2;
constexpr char kName[] = "fendrel-msp";

int Refuse(const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", kName, why.c_str());
    return kNotWritten;
}

std::string FileName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Size(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
    return text;
}

// "1 region", "2 regions", "3 patches".
std::string Count(std::size_t count, const std::string& thing) {
    const char* plural = count == 1 ? "" : thing.ends_with("h") ? "es" : "s";
    return std::to_string(count) + " " + thing + plural;
}

// Asks on the terminal; only "y" or "yes" goes on.
bool Confirmed(const std::string& question) {
    std::printf("%s [y/N] ", question.c_str());
    std::fflush(stdout);
    std::string answer;
    return std::getline(std::cin, answer) && (answer == "y" || answer == "yes");
}

}  // namespace

int main(int argc, char** argv) {
    if (fendrel::ShowVersionIfAsked(argc, argv, kName))
        return 0;
    std::string error;
    const auto options =
        fendrel::msp::ParseOptions(std::span<char* const>(argv + 1, argc - 1), error);
    if (!options) {
        std::fprintf(stderr, "%s: %s\n%s", kName, error.c_str(), fendrel::msp::kUsage);
        return kUsageError;
    }

    fendrel::msp::DiskTarget target(platform::DiskEnumerator::FromEnvironment(),
                                    platform::MountTable::System());
    if (!target.Open(options->disk))
        return Refuse(target.error());

    const auto layout = fendrel::qcom::ReadRawProgram(FolderOf(options->rawprogram),
                                                      options->rawprogram, options->patch, error);
    if (!layout)
        return Refuse(error);
    const std::uint64_t disk_bytes = target.size();
    const auto plan = fendrel::msp::PlanForDisk(*layout, disk_bytes, error);
    if (!plan)
        return Refuse(error);

    std::printf("%s: %s (%s) and %s for %s (%s)\n", kName,
                Count(plan->regions.size(), "region").c_str(), Size(plan->TotalBytes()).c_str(),
                Count(plan->patches.size(), "patch").c_str(), options->disk.c_str(),
                Size(disk_bytes).c_str());
    if (options->ask && !Confirmed("Write " + options->disk + "?"))
        return Refuse("not confirmed; nothing was written");

    fendrel::msp::PlanWriter writer(target, stdout, FileName(options->rawprogram),
                                    FileName(options->patch));
    if (!writer.Write(*plan, options->verify))
        return Refuse(writer.error());
    std::printf("%s: %s written%s\n", kName, options->disk.c_str(),
                options->verify ? " and verified" : "");
    return kWritten;
}

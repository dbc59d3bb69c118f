// brenlo-flash: loads Brenlo (libbrenlo.so, Brenlo.dll) at run time, fills a request from its
// command line, and prints every text the library reports, one line each:
//   LEVEL KIND PARTITION | TEXT
// with LEVEL failure / okay / progress, KIND none / erase / sending / writing, and PARTITION "-"
// for the texts of the call itself and "''" for the reboot step.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fastboot/brenlo.h"
#include "fastboot/brenlo_flash/image_files.h"
#include "fastboot/brenlo_flash/options.h"
#include "platform/dynamic_library.h"
#include "version/version_option.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

using BrenloFunction = bool (*)(const flash_request*);

const char* LevelName(std::int32_t level) {
    switch (level) {
        case BRENLO_LEVEL_FAILURE:
            return "failure";
        case BRENLO_LEVEL_OKAY:
            return "okay";
        case BRENLO_LEVEL_PROGRESS:
            return "progress";
        default:
            return "?";
    }
}

const char* KindName(std::int32_t kind) {
    switch (kind) {
        case BRENLO_STEP_NONE:
            return "none";
        case BRENLO_STEP_ERASE:
            return "erase";
        case BRENLO_STEP_SENDING:
            return "sending";
        case BRENLO_STEP_WRITING:
            return "writing";
        default:
            return "?";
    }
}

// What the callback reaches through the request's context.
struct Printer {
    std::FILE* out;
};

void PrintReport(std::uintptr_t context, const char* partition, std::int32_t kind,
                 std::int32_t level, const char* text) {
    auto* printer = reinterpret_cast<Printer*>(context);
    std::size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '\n')
        --length;  // one line per report
    const char* where = partition == nullptr ? "-" : (*partition == '\0' ? "''" : partition);
    std::fprintf(printer->out, "%-8s %-7s %-8s | %.*s\n", LevelName(level), KindName(kind), where,
                 static_cast<int>(length), text);
    std::fflush(printer->out);
}

}  // namespace

int main(int argc, char** argv) {
    if (fendrel::ShowVersionIfAsked(argc, argv, "brenlo-flash"))
        return 0;
    brenlo::flash_tool::Options options;
    std::string error;
    if (!brenlo::flash_tool::ParseOptions(argc - 1, argv + 1, &options, &error)) {
        std::fprintf(stderr, "brenlo-flash: %s\n\n", error.c_str());
        std::fputs(brenlo::flash_tool::kUsage, stderr);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(brenlo::flash_tool::kUsage, stdout);
        return 0;
    }
    const std::vector<std::string> problems = brenlo::flash_tool::CheckImages(options.request);
    for (const std::string& problem : problems)
        std::fprintf(stderr, "brenlo-flash: %s\n", problem.c_str());
    if (!problems.empty())
        return kExitFailed;
    platform::DynamicLibrary library;
    if (!library.Load(options.library)) {
        std::fprintf(stderr, "brenlo-flash: cannot load %s: %s\n", options.library.c_str(),
                     library.error().c_str());
        return kExitUsage;
    }
    const auto brenlo = reinterpret_cast<BrenloFunction>(library.Symbol("Brenlo"));
    if (brenlo == nullptr) {
        std::fprintf(stderr, "brenlo-flash: %s has no export Brenlo\n", options.library.c_str());
        return kExitUsage;
    }
    Printer printer{stdout};
    if (!options.silent) {
        options.request.context = reinterpret_cast<std::uintptr_t>(&printer);
        options.request.callback = PrintReport;
    }
    return brenlo(&options.request) ? 0 : kExitFailed;
}

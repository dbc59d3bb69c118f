#include "cli/console_link.h"

#include <cstdio>

namespace fendrel::cli {

ConsoleLink::ConsoleLink(std::string port_name, StationServices& services)
    : services_(services),
      port_name_(std::move(port_name)),
      diag_(stop_, services.clock()),
      download_(stop_, services.clock()),
      link_(services.CreateLink(*this)),
      interrupt_(stop_) {}

ConsoleLink::~ConsoleLink() = default;

void ConsoleLink::ShowStatus(std::string text) {
    SetStatus(std::move(text));
    std::printf("%s\n", status_.c_str());
    std::fflush(stdout);
}

void ConsoleLink::ShowError(std::string text) {
    SetStatus(std::move(text));
    std::fprintf(stderr, "%s\n", status_.c_str());
}

const char* ResultWords(DMSS_RET_E_TYPE result) {
    switch (result) {
        case DMSS_SUCCESS:
            return "done";
        case DMSS_NOT_ATTACHED:
            return "the port is not open";
        case DMSS_IO_FAILED:
            return "the port failed";
        case DMSS_TIMEOUT:
            return "no answer within the time-out";
        case DMSS_STOPPED:
            return "stopped";
        case DMSS_BAD_REPLY:
            return "a malformed answer";
        case DMSS_REJECTED:
            return "the phone refused the command";
        case DMSS_PORT_GONE:
            return "the port went away";
        case DMSS_SWITCHED_WITHOUT_REPLY:
            return "the phone left before answering";
    }
    return "an unknown result";
}

}  // namespace fendrel::cli

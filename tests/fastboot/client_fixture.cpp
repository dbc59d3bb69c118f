#include "tests/fastboot/client_fixture.h"

#include <ostream>

namespace brenlo::testing {

std::ostream& operator<<(std::ostream& out, const Report& report) {
    return out << "{" << report.partition << ", kind " << report.kind << ", level " << report.level
               << ", \"" << report.text << "\"}";
}

ReportLog::ReportLog() {
    owner_.context = reinterpret_cast<std::uintptr_t>(this);
    owner_.callback = Receive;
}

std::vector<std::string> ReportLog::texts() const {
    std::vector<std::string> texts;
    for (const Report& report : reports_)
        texts.push_back(report.text);
    return texts;
}

void ReportLog::Receive(std::uintptr_t context, const char* partition, std::int32_t kind,
                        std::int32_t level, const char* text) {
    auto* log = reinterpret_cast<ReportLog*>(context);
    log->reports_.push_back({partition != nullptr ? partition : "<none>", kind, level, text});
}

void ClientTest::SetUp() {
    ExpectOpen(api_);
    connection_ = device_open(L"usb:1-1", api_, clock_);
    ASSERT_NE(connection_, nullptr);
    // Whether a test disconnects or only the release does, the handles close once, in order.
    ExpectDisconnect(api_);
    connection_->owner = &log_.owner();
    fb_action* step = enqueue_action(connection_, FB_OP_COMMAND, "test");
    std::snprintf(step->partition, sizeof step->partition, "boot");
    step->step_kind = BRENLO_STEP_ERASE;
    connection_->current_action = step;
}

void ClientTest::TearDown() {
    device_release(connection_);
}

}  // namespace brenlo::testing

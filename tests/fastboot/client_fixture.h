// A protocol client connection opened on the strict mock, with an owner whose callback records
// every report, and a current step so that reports reach it.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fastboot/protocol.h"
#include "platform/clock.h"
#include "tests/fastboot/mock_adb_api.h"

namespace brenlo::testing {

struct Report {
    std::string partition;  // "<none>" for a null partition
    int kind;
    int level;
    std::string text;

    bool operator==(const Report&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Report& report);

// Collects reports through a flash_request's callback and context.
class ReportLog {
  public:
    ReportLog();
    // A request whose callback and context lead here.
    flash_request& owner() { return owner_; }
    const std::vector<Report>& reports() const { return reports_; }
    std::vector<std::string> texts() const;

  private:
    static void Receive(std::uintptr_t context, const char* partition, std::int32_t kind,
                        std::int32_t level, const char* text);

    flash_request owner_{};
    std::vector<Report> reports_;
};

class ClientTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    bool connected() const { return connection_->interface_handle != nullptr; }

    ::testing::StrictMock<MockAdbApi> api_;
    platform::VirtualClock clock_;
    ReportLog log_;
    fb_connection* connection_ = nullptr;
};

}  // namespace brenlo::testing

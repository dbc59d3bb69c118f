// The queue on the strict mock: the operations a flashing request does not use, and the way
// out of an impossible step.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fastboot/protocol.h"
#include "tests/fastboot/client_fixture.h"
#include "tests/fastboot/mock_adb_api.h"

namespace brenlo::testing {
namespace {

using ::testing::ElementsAre;

class Queue : public ClientTest {
  protected:
    void SetUp() override {
        ClientTest::SetUp();
        // Start from an empty queue: the fixture's own step is only there for reports.
        ClearQueue();
    }

    void ClearQueue() {
        delete connection_->queue_head;
        connection_->queue_head = connection_->queue_tail = connection_->current_action = nullptr;
    }
};

TEST_F(Queue, AnEmptyQueueSucceeds) {
    EXPECT_EQ(run_queue(connection_), 0);
}

TEST_F(Queue, AQueryHandsTheResponseToItsCompletion) {
    std::string sent;
    AcceptWrites(api_, &sent);
    ExpectReply(api_, "OKAY0x100000");
    fb_action* query = enqueue_action(connection_, FB_OP_QUERY, "getvar:%s", "max-download-size");
    query->message = make_message("querying");
    static std::string seen;
    query->completion = [](fb_action*, int status, const char* response) {
        seen = response;
        return status;
    };
    EXPECT_EQ(run_queue(connection_), 0);
    EXPECT_EQ(sent, "getvar:max-download-size");
    EXPECT_EQ(seen, "0x100000");
}

TEST_F(Queue, ANoticeIsReportedWithoutTouchingTheDevice) {
    fb_action* notice = enqueue_action(connection_, FB_OP_NOTICE, "%s", "");
    const char text[] = "hello";
    notice->data = new unsigned char[sizeof text];
    std::memcpy(notice->data, text, sizeof text);
    EXPECT_EQ(run_queue(connection_), 0);
    EXPECT_THAT(log_.texts(), ElementsAre("hello\n"));
}

// An operation outside 1 to 4 cannot be run: the call ends through fatal_error instead of
// ending the caller's process, and nothing reaches the device.
TEST_F(Queue, AnImpossibleStepEndsTheCallWithoutTouchingTheDevice) {
    enqueue_action(connection_, 7, "anything");
    EXPECT_THROW(run_queue(connection_), fatal_error);
}

TEST(FatalExit, ThrowsItsText) {
    try {
        fatal_exit("out of %s", "memory");
        FAIL() << "fatal_exit returned";
    } catch (const fatal_error& error) {
        EXPECT_STREQ(error.what(), "out of memory");
    }
}

TEST(MakeMessage, FormatsIntoAHeapTextOfAtMost255Characters) {
    char* message = make_message("sending '%s' (%d KB)", "boot", 1024);
    EXPECT_STREQ(message, "sending 'boot' (1024 KB)");
    delete[] message;
    const std::string long_name(300, 'p');
    message = make_message("%s", long_name.c_str());
    EXPECT_EQ(std::strlen(message), 255u);
    delete[] message;
}

}  // namespace
}  // namespace brenlo::testing

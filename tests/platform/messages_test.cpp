// The message registry, the recording notifier and thread priorities.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/messages.h"
#include "platform/thread_priority.h"

namespace platform {
namespace {

TEST(MessageRegistry, SameNameSameIdWithoutRegardToCase) {
    const MessageId first = RegisterMessage("FENDREL_TEST_FIRST");
    const MessageId second = RegisterMessage("FENDREL_TEST_SECOND");
    EXPECT_GE(first, kFirstRegisteredMessage);
    EXPECT_LE(second, kLastRegisteredMessage);
    EXPECT_NE(first, second);
    EXPECT_EQ(RegisterMessage("fendrel_test_first"), first);
    EXPECT_EQ(RegisterMessage("Fendrel_Test_Second"), second);
    EXPECT_EQ(RegisterMessage(""), 0u);
}

TEST(MessageRegistry, ThreadsRegisteringOneNameAgree) {
    std::vector<MessageId> ids(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < ids.size(); ++i)
        threads.emplace_back([&ids, i] { ids[i] = RegisterMessage("FENDREL_TEST_RACE"); });
    for (std::thread& thread : threads)
        thread.join();
    for (const MessageId id : ids)
        EXPECT_EQ(id, ids[0]);
}

TEST(RecordingNotifier, KeepsPostsInOrder) {
    RecordingNotifier notifier;
    notifier.Post(0xC001, 3, 0);
    notifier.Post(0xC002, 12, 55);
    EXPECT_EQ(notifier.Messages(), (std::vector<PostedMessage>{{0xC001, 3, 0}, {0xC002, 12, 55}}));
}

TEST(ThreadPriority, KnownLevelsOnlyAndOnlyForLiveThreads) {
    EXPECT_TRUE(SetThreadPriority(CurrentThreadId(), kThreadPriorityNormal));
    EXPECT_TRUE(SetThreadPriority(CurrentThreadId(), kThreadPriorityBelowNormal));
    EXPECT_FALSE(SetThreadPriority(CurrentThreadId(), 3));
    EXPECT_FALSE(SetThreadPriority(0, kThreadPriorityNormal));
    // Lowering is always allowed; back to normal needs the right to raise, so end the test here.
}

}  // namespace
}  // namespace platform

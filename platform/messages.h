// Registered window messages and the notifier a worker posts them to, the stand-in for
// RegisterWindowMessageA and PostMessage (named apart from them: windows.h makes both macros).
//
// A message is known by its name. The first registration of a name in the process hands out the
// next free id from 0xC000 upwards; every later registration of the same name, compared without
// regard to ASCII case as Windows compares these names, returns that same id. Workers and pages
// therefore agree on the ids without sharing anything but the names.
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

namespace platform {

using MessageId = unsigned;

// The first id the registry hands out and the last one it can.
inline constexpr MessageId kFirstRegisteredMessage = 0xC000;
inline constexpr MessageId kLastRegisteredMessage = 0xFFFF;

// The id of `name`, registering it on first use. 0 for an empty name, or when every id of the
// range is taken (as the Windows call fails). Thread-safe; never blocks for long.
MessageId RegisterMessage(std::string_view name);

// The receiving end of posted messages: a page implements it by queueing an event to its own
// thread. Post must return at once (the poster is a worker in the middle of a step) and
// may be called from any thread.
class Notifier {
  public:
    virtual ~Notifier() = default;
    virtual void Post(MessageId message, std::uintptr_t wparam, std::intptr_t lparam) = 0;
};

struct PostedMessage {
    MessageId message;
    std::uintptr_t wparam;
    std::intptr_t lparam;

    bool operator==(const PostedMessage&) const = default;
};

// Keeps every posted message in order. For tests; thread-safe.
class RecordingNotifier final : public Notifier {
  public:
    void Post(MessageId message, std::uintptr_t wparam, std::intptr_t lparam) override;
    std::vector<PostedMessage> Messages() const;

  private:
    mutable std::mutex mutex_;
    std::vector<PostedMessage> messages_;
};

}  // namespace platform

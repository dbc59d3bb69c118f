#include "platform/messages.h"

#include <string>
#include <unordered_map>

namespace platform {
namespace {

std::string FoldedName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return folded;
}

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::string, MessageId> ids;
    MessageId next = kFirstRegisteredMessage;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

MessageId RegisterMessage(std::string_view name) {
    if (name.empty())
        return 0;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto [entry, inserted] = registry.ids.try_emplace(FoldedName(name), 0);
    if (inserted) {
        if (registry.next > kLastRegisteredMessage) {
            registry.ids.erase(entry);
            return 0;
        }
        entry->second = registry.next++;
    }
    return entry->second;
}

void RecordingNotifier::Post(MessageId message, std::uintptr_t wparam, std::intptr_t lparam) {
    std::lock_guard lock(mutex_);
    messages_.push_back({message, wparam, lparam});
}

std::vector<PostedMessage> RecordingNotifier::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

}  // namespace platform

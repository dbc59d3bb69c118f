// Waiting in tests for what another thread or process brings about (a phone that re-plugs).
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace fendrel::testing {

// Whether `condition` became true before `limit` passed; looks every millisecond. The limit only
// keeps a broken test from hanging: no test relies on how soon the condition holds.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto give_up = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > give_up)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace fendrel::testing

// Bounded waits: every wait of the driver polls a condition until it holds or
// its time is up, so that a test never hangs and never sleeps on a hope.
#pragma once

#include <chrono>
#include <functional>

namespace driver {

inline constexpr unsigned kPollIntervalMs = 20;

class Deadline {
public:
    explicit Deadline(unsigned milliseconds);
    bool passed() const;
    unsigned remainingMs() const;

private:
    std::chrono::steady_clock::time_point end_;
};

// Checks ready() at once and then every intervalMs; true as soon as it holds,
// false when it still does not hold at the deadline (checked once more then).
bool pollUntil(unsigned timeoutMs, const std::function<bool()>& ready, unsigned intervalMs = kPollIntervalMs);

// Sleeps one poll interval, never past the deadline by more than a tick.
void pause(const Deadline& deadline, unsigned intervalMs);

}  // namespace driver

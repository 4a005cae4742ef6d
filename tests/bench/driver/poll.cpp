#include "poll.h"

#include <windows.h>

#include <algorithm>

namespace driver {

Deadline::Deadline(unsigned milliseconds)
    : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds)) {}

bool Deadline::passed() const { return std::chrono::steady_clock::now() >= end_; }

unsigned Deadline::remainingMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<unsigned>(left.count()) : 0U;
}

void pause(const Deadline& deadline, unsigned intervalMs) {
    Sleep(std::max(1U, std::min(intervalMs, deadline.remainingMs())));
}

bool pollUntil(unsigned timeoutMs, const std::function<bool()>& ready, unsigned intervalMs) {
    const Deadline deadline(timeoutMs);
    for (;;) {
        if (ready()) return true;
        if (deadline.passed()) return false;
        pause(deadline, intervalMs);
    }
}

}  // namespace driver

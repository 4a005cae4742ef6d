// What a safeguard needs of the window while it waits or tries again: a
// progress step (half a second, the window answering), and the status text.
#pragma once

#include <functional>
#include <string>

namespace car {

struct RunSteps {
    std::function<void()> step;
    std::function<void(const std::wstring&)> status;
};

}  // namespace car

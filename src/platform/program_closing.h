// What the run asks of a program before it ends it: to close by itself, as
// Windows asks every program when a user logs off, so that a program that
// writes the database can finish its write and let go of the file.
#pragma once

#include <cstdint>

namespace car {

class ProgramClosing {
public:
    virtual ~ProgramClosing() = default;

    // Asks the process to close, without waiting for it to do so: true when
    // something was asked of it (it has a window this program can reach),
    // false when it cannot be asked and must be ended.
    virtual bool askToClose(std::uint32_t processId) = 0;
};

}  // namespace car

// Every program the run starts is started by its full path, never found by
// a search that looks in the program's own folder and the current folder
// first, where anyone could have left a program of that name: the system's
// own tools from the system's folders, anything else by its own path. A child
// starts in a folder of the run's choosing, never in whatever folder this
// program inherited. Each start is in the log.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "app/safeguards/run_log.h"
#include "platform/platform.h"

namespace car {

class ProgramStarts {
public:
    ProgramStarts(Platform& platform, RunLog& log) : platform_(platform), log_(log) {}

    // The program file and current folder for a command line.
    std::pair<std::wstring, std::wstring> ProgramOf(const std::wstring& commandLine);
    // Starts the command line in the window style and gives its process's id.
    std::uint32_t Launch(const std::wstring& commandLine, int windowStyle);

private:
    Platform& platform_;
    RunLog& log_;
};

}  // namespace car

// What the program knows of itself: its own file, and its command line split
// as the C runtime splits it (the engine's process is the same program, and
// the event log names the program as its message file).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace car::win32 {

// The running program's full path; fails when the system cannot say.
std::wstring runningProgramPath();

// No box of the system's own for this process from now on (a drive not
// ready, a program that crashed), for runs that nobody watches. Programs it
// starts get the default mode again.
void showNoSystemBoxes();

// The words of a command line, the program's own name first; nothing when
// the shell's splitter is missing.
std::optional<std::vector<std::wstring>> splitCommandLine(const wchar_t* line);

}  // namespace car::win32

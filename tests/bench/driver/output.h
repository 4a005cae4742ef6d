// What the driver reports: plain UTF-8 lines on stdout, reasons on stderr,
// and the exit codes that a test script tells apart.
#pragma once

#include <string>
#include <string_view>

namespace driver {

enum ExitCode : int { kSucceeded = 0, kFailed = 1, kTimedOut = 2 };

// One line, written at once (no buffering), so that a script following a run
// sees each line as soon as it happens.
void printLine(std::wstring_view text);

// A reason on stderr; returns the code so that a command can end with it.
int failed(std::wstring_view reason);
int timedOut(std::wstring_view reason);

// A control's text on one line: CR, LF and TAB become \r, \n and \t.
std::wstring escaped(std::wstring_view text);

}  // namespace driver

// The driver's commands. Each one reads its arguments (the command's name
// already removed), does its work and gives the process's exit code.
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "arguments.h"
#include "target_window.h"

namespace driver {

using CommandFn = int (*)(const Target&, Arguments&);

struct Command {
    std::wstring_view name;
    std::wstring_view usage;
    CommandFn run;
};

int waitWindow(const Target& target, Arguments& args);
int waitGone(const Target& target, Arguments& args);
int printProcessId(const Target& target, Arguments& args);
int dump(const Target& target, Arguments& args);
int printText(const Target& target, Arguments& args);
int click(const Target& target, Arguments& args);
int closeWindow(const Target& target, Arguments& args);
int waitControl(const Target& target, Arguments& args);
int findWindowTitle(const Target& target, Arguments& args);
int answerBox(const Target& target, Arguments& args);
int noBox(const Target& target, Arguments& args);
int watchStatus(const Target& target, Arguments& args);
int pressKey(const Target& target, Arguments& args);
int copyText(const Target& target, Arguments& args);
int checkCaptions(const Target& target, Arguments& args);
int responsiveness(const Target& target, Arguments& args);
int terminate(const Target& target, Arguments& args);
int queryEndSession(const Target& target, Arguments& args);

// The command table, in the order the usage text lists it.
std::span<const Command> commands();

// Reports a wrong command line with the command's usage.
int badUsage(std::wstring_view name);

// The timeout at args[index] in milliseconds, or none (already reported).
std::optional<unsigned> timeoutAt(const Arguments& args, std::size_t index);

// The main window, reported when there is none.
HWND requireMainWindow(const Target& target);

// What a command that follows the status looks at: the main window, lblStatus
// and the control whose showing ends it (null when none is named).
struct StatusWindows {
    HWND main = nullptr;
    HWND status = nullptr;
    HWND until = nullptr;
};

// The windows to follow until the control named untilName shows; none (already
// reported) when the name is no control's or a window is missing.
std::optional<StatusWindows> requireStatusWindows(const Target& target, const std::optional<std::wstring>& untilName);

}  // namespace driver

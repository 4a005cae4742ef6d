#include "commands.h"

#include <array>
#include <string>

#include "output.h"

namespace driver {
namespace {

constexpr std::array<Command, 18> kCommands{{
    {L"wait-window", L"wait-window TIMEOUT [--interval MS]", waitWindow},
    {L"wait-gone", L"wait-gone TIMEOUT  (with --pid: the process has ended too)", waitGone},
    {L"pid", L"pid", printProcessId},
    {L"dump", L"dump", dump},
    {L"text", L"text NAME", printText},
    {L"click", L"click NAME", click},
    {L"close", L"close", closeWindow},
    {L"wait-control", L"wait-control NAME visible|hidden|enabled|disabled TIMEOUT", waitControl},
    {L"find-window-title", L"find-window-title TITLE TIMEOUT", findWindowTitle},
    {L"answer-box", L"answer-box TIMEOUT [--yes|--no]", answerBox},
    {L"no-box", L"no-box TIMEOUT", noBox},
    {L"watch-status",
     L"watch-status TIMEOUT [--until-visible NAME] [--answer-boxes] [--click BUTTON [--double-click]] [--interval MS]",
     watchStatus},
    {L"key", L"key esc|enter|tab", pressKey},
    {L"copy", L"copy NAME TIMEOUT", copyText},
    {L"captions", L"captions TIMEOUT [NAME...]", checkCaptions},
    {L"responsiveness", L"responsiveness TIMEOUT [--until-visible NAME] [--during STATUS] [--gaps MS]", responsiveness},
    {L"terminate", L"terminate TIMEOUT [--when-status STATUS] [--after MS]", terminate},
    {L"query-end-session", L"query-end-session", queryEndSession},
}};

}  // namespace

std::span<const Command> commands() { return kCommands; }

int badUsage(std::wstring_view name) {
    for (const Command& command : kCommands) {
        if (command.name == name)
            return failed(L"usage: driver [--pid N] [--box-title T] " + std::wstring(command.usage));
    }
    return failed(L"unknown command: " + std::wstring(name));
}

std::optional<unsigned> timeoutAt(const Arguments& args, std::size_t index) {
    if (index >= args.count()) return std::nullopt;
    const std::optional<unsigned long> value = parseCount(args.at(index));
    if (!value) {
        failed(L"not a timeout in milliseconds: " + args.at(index));
        return std::nullopt;
    }
    return static_cast<unsigned>(*value);
}

HWND requireMainWindow(const Target& target) {
    HWND main = findMainWindow(target);
    if (main == nullptr) failed(L"no window of class " + std::wstring(car::kWindowClassName));
    return main;
}

std::optional<StatusWindows> requireStatusWindows(const Target& target, const std::optional<std::wstring>& untilName) {
    const car::ControlLayout* untilLayout = untilName ? layoutNamed(*untilName) : nullptr;
    if (untilName && untilLayout == nullptr) {
        failed(L"no control named " + *untilName);
        return std::nullopt;
    }
    StatusWindows windows;
    windows.main = requireMainWindow(target);
    if (windows.main == nullptr) return std::nullopt;
    windows.status = controlWindow(windows.main, car::layoutOf(car::ControlId::lblStatus));
    if (windows.status == nullptr) {
        failed(L"the window has no child window for lblStatus");
        return std::nullopt;
    }
    if (untilLayout != nullptr) {
        windows.until = controlWindow(windows.main, *untilLayout);
        if (windows.until == nullptr) {
            failed(L"the window has no child window for " + *untilName);
            return std::nullopt;
        }
    }
    return windows;
}

}  // namespace driver

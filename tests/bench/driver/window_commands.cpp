// The commands that wait for, read and operate the main window.
#include <optional>
#include <string>

#include "commands.h"
#include "output.h"
#include "platform/win32/handle.h"
#include "poll.h"
#include "windows_query.h"

namespace driver {
namespace {

// The control a command names, with its window; reports what is missing.
struct NamedControl {
    HWND main = nullptr;
    HWND window = nullptr;
};

std::optional<NamedControl> requireControl(const Target& target, const std::wstring& name) {
    const car::ControlLayout* layout = layoutNamed(name);
    if (layout == nullptr) {
        failed(L"no control named " + name);
        return std::nullopt;
    }
    HWND main = requireMainWindow(target);
    if (main == nullptr) return std::nullopt;
    HWND window = controlWindow(main, *layout);
    if (window == nullptr) {
        failed(L"the window has no child window for " + name);
        return std::nullopt;
    }
    return NamedControl{main, window};
}

// A person can only use a window that is shown and not disabled by a modal box.
bool usable(HWND window) { return IsWindowVisible(window) && IsWindowEnabled(window); }

}  // namespace

int waitWindow(const Target& target, Arguments& args) {
    // A finer interval for the start-up benchmark, which times the wait.
    const std::optional<std::wstring> interval = args.takeOption(L"--interval");
    const std::optional<unsigned long> intervalMs = interval ? parseCount(*interval) : kPollIntervalMs;
    const std::optional<unsigned> timeout = timeoutAt(args, 0);
    if (!timeout || args.count() != 1 || !intervalMs || *intervalMs == 0) return badUsage(L"wait-window");
    HWND main = nullptr;
    const bool shown = pollUntil(
        *timeout,
        [&] {
            main = findMainWindow(target);
            return main != nullptr && IsWindowVisible(main);
        },
        static_cast<unsigned>(*intervalMs));
    if (!shown) return timedOut(L"no visible window of class " + std::wstring(car::kWindowClassName));
    printLine(escaped(windowText(main)));
    return kSucceeded;
}

int waitGone(const Target& target, Arguments& args) {
    const std::optional<unsigned> timeout = timeoutAt(args, 0);
    if (!timeout || args.count() != 1) return badUsage(L"wait-gone");
    // Held from the start, so that the process id cannot be reused under us.
    // A process that has already ended cannot be opened: that counts as gone.
    const car::win32::UniqueHandle process(target.process != 0 ? OpenProcess(SYNCHRONIZE, FALSE, target.process)
                                                               : nullptr);
    const DWORD openError = GetLastError();
    if (target.process != 0 && !process && openError != ERROR_INVALID_PARAMETER) {
        return failed(L"cannot watch process " + std::to_wstring(target.process) + L": error " +
                      std::to_wstring(openError));
    }
    const bool gone = pollUntil(*timeout, [&] {
        if (findMainWindow(target) != nullptr) return false;
        return !process || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
    });
    if (!gone) {
        return timedOut(findMainWindow(target) != nullptr ? L"the window is still there"
                                                          : L"the process is still running");
    }
    return kSucceeded;
}

int printProcessId(const Target& target, Arguments& args) {
    if (args.count() != 0) return badUsage(L"pid");
    HWND main = requireMainWindow(target);
    if (main == nullptr) return kFailed;
    printLine(std::to_wstring(processOf(main)));
    return kSucceeded;
}

int dump(const Target& target, Arguments& args) {
    if (args.count() != 0) return badUsage(L"dump");
    HWND main = requireMainWindow(target);
    if (main == nullptr) return kFailed;
    printDump(main);
    return kSucceeded;
}

int printText(const Target& target, Arguments& args) {
    if (args.count() != 1) return badUsage(L"text");
    if (args.at(0) == car::layoutOf(car::ControlId::Form).name) {
        HWND main = requireMainWindow(target);
        if (main == nullptr) return kFailed;
        printLine(escaped(windowText(main)));
        return kSucceeded;
    }
    const std::optional<NamedControl> control = requireControl(target, args.at(0));
    if (!control) return kFailed;
    printLine(escaped(windowText(control->window)));
    return kSucceeded;
}

int click(const Target& target, Arguments& args) {
    if (args.count() != 1) return badUsage(L"click");
    const std::wstring& name = args.at(0);
    const std::optional<NamedControl> control = requireControl(target, name);
    if (!control) return kFailed;
    if (!sameClass(control->window, L"Button")) return failed(name + L" is not a button");
    // BM_CLICK would press a hidden or disabled button too; a person cannot.
    if (!usable(control->main)) return failed(L"the window is hidden or disabled (a modal box?)");
    if (!IsWindowVisible(control->window)) return failed(name + L" is hidden");
    if (!IsWindowEnabled(control->window)) return failed(name + L" is disabled");
    // Posted: a sent click would block until a modal box that it opens closes.
    if (!PostMessageW(control->window, BM_CLICK, 0, 0)) return failed(L"cannot post the click to " + name);
    return kSucceeded;
}

int closeWindow(const Target& target, Arguments& args) {
    if (args.count() != 0) return badUsage(L"close");
    HWND main = requireMainWindow(target);
    if (main == nullptr) return kFailed;
    if (!usable(main)) return failed(L"the window is hidden or disabled (a modal box?)");
    if (!PostMessageW(main, WM_CLOSE, 0, 0)) return failed(L"cannot post the close to the window");
    return kSucceeded;
}

int waitControl(const Target& target, Arguments& args) {
    const std::optional<unsigned> timeout = timeoutAt(args, 2);
    if (!timeout || args.count() != 3) return badUsage(L"wait-control");
    const std::wstring& name = args.at(0);
    const std::wstring& state = args.at(1);
    const car::ControlLayout* layout = layoutNamed(name);
    if (layout == nullptr) return failed(L"no control named " + name);
    const auto inState = [&](HWND window) {
        if (state == L"visible") return IsWindowVisible(window) != FALSE;
        if (state == L"hidden") return IsWindowVisible(window) == FALSE;
        if (state == L"enabled") return IsWindowEnabled(window) != FALSE;
        return IsWindowEnabled(window) == FALSE;
    };
    if (state != L"visible" && state != L"hidden" && state != L"enabled" && state != L"disabled") {
        return badUsage(L"wait-control");
    }
    // The window may not be there yet; once it was, its going away ends the
    // wait at once instead of at the timeout.
    bool seen = false;
    bool vanished = false;
    const bool reached = pollUntil(*timeout, [&] {
        HWND main = findMainWindow(target);
        if (main == nullptr) {
            vanished = seen;
            return vanished;
        }
        seen = true;
        HWND window = controlWindow(main, *layout);
        return window != nullptr && inState(window);
    });
    if (vanished) return failed(L"the window went away before " + name + L" was " + state);
    if (!reached) return timedOut(name + L" is not " + state);
    return kSucceeded;
}

int findWindowTitle(const Target& target, Arguments& args) {
    const std::optional<unsigned> timeout = timeoutAt(args, 1);
    if (!timeout || args.count() != 2) return badUsage(L"find-window-title");
    const std::wstring& title = args.at(0);
    HWND found = nullptr;
    const bool shown = pollUntil(*timeout, [&] {
        found = findTopLevel([&](HWND window) {
            return IsWindowVisible(window) && windowText(window) == title &&
                   (target.process == 0 || processOf(window) == target.process);
        });
        return found != nullptr;
    });
    if (!shown) return timedOut(L"no visible top-level window titled " + title);
    printLine(className(found) + L"\t" + std::to_wstring(processOf(found)));
    return kSucceeded;
}

}  // namespace driver

// A program asked to close as Windows asks it when a user logs off: each of
// its top-level windows is sent WM_QUERYENDSESSION and WM_ENDSESSION (with
// ENDSESSION_CLOSEAPP, what the Restart Manager sends to free a file), and
// its own windows are posted WM_CLOSE. A program that only tidies up on
// WM_ENDSESSION and waits to be ended (which Windows allows) closes on the
// WM_CLOSE; one that closes on either lets go of the database itself.
//
// Not the Restart Manager's RmShutdown: it waits for the programs itself
// (up to its own limits, with the window not answering), and under Wine it
// is a stub that does nothing. Not AttachConsole with GenerateConsoleCtrlEvent
// either: that attaches this program to the other's console and sends Ctrl+C
// to every process on it, this one included, and a program in a process group
// of its own only hears Ctrl+Break. A console program is reached through the
// console window it owns: the window's close is its close event
// (CTRL_CLOSE_EVENT), as when a person closes it. A program in another
// session (a service's, or a user's while this runs as a scheduled task)
// has no window on this desktop: it cannot be asked, and is ended as before.
#include <windows.h>

#include <vector>

#include "platform/win32/system/win32_platform.h"

namespace car {
namespace {

// How long one window may take to answer: a healthy program answers at once,
// and the run's window must not stand still for longer than a progress step.
constexpr UINT kAnswerMs = 250;

struct WindowSearch {
    DWORD processId = 0;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM search) {
    auto& found = *reinterpret_cast<WindowSearch*>(search);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == found.processId) found.windows.push_back(window);
    return TRUE;
}

bool IsConsoleWindow(HWND window) {
    wchar_t name[32] = {};
    return ::GetClassNameW(window, name, 32) > 0 && std::wstring_view(name) == L"ConsoleWindowClass";
}

// Bounded, and given up at once for a window that does not answer at all.
bool SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR& answer) {
    return ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs, &answer) != 0;
}

}  // namespace

bool Win32Platform::askToClose(std::uint32_t processId) {
    if (processId == 0 || processId == ::GetCurrentProcessId()) return false;
    WindowSearch search{processId, {}};
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    bool asked = false;
    for (HWND window : search.windows) {
        if (!IsConsoleWindow(window)) {
            DWORD_PTR agreed = 0;
            if (SendBounded(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, agreed)) {
                // As Windows does: the session's end confirmed to one that
                // agreed, called off for one that refused.
                DWORD_PTR ignored = 0;
                SendBounded(window, WM_ENDSESSION, agreed != 0 ? TRUE : FALSE, ENDSESSION_CLOSEAPP, ignored);
                asked = true;
            }
        }
        // Owned windows (dialogs, tool windows) close with their owner.
        if (::GetWindow(window, GW_OWNER) == nullptr && ::PostMessageW(window, WM_CLOSE, 0, 0)) asked = true;
    }
    return asked;
}

}  // namespace car

// platform_check's windows: one that counts the messages posted to it, and
// an answerer of the program's message boxes.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "check_output.h"

namespace check {

// Answers the next message box of the program: prints what it shows (title,
// text, buttons, icon, owner) and presses OK.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(HWND expectedOwner) : thread_([this, expectedOwner] { answer(expectedOwner); }) {}
    ~MessageBoxAnswerer() { thread_.join(); }

private:
    void answer(HWND expectedOwner) {
        for (int attempt = 0; attempt < 400; ++attempt) {
            const HWND box = ::FindWindowW(L"#32770", L"Compact And Repair");
            if (box != nullptr && ::IsWindowVisible(box)) {
                wchar_t text[512] = L"";
                ::GetDlgItemTextW(box, 0xFFFF, text, 512);
                std::wstring buttons;
                bool icon = false;
                for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
                     child = ::GetWindow(child, GW_HWNDNEXT)) {
                    wchar_t className[64] = L"", caption[64] = L"";
                    ::GetClassNameW(child, className, 64);
                    ::GetWindowTextW(child, caption, 64);
                    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
                    if (!(style & WS_VISIBLE)) continue;
                    if (::lstrcmpiW(className, L"Button") == 0)
                        buttons += std::wstring(buttons.empty() ? L"" : L",") + caption;
                    if (::lstrcmpiW(className, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
                        ::SendMessageW(child, STM_GETICON, 0, 0) != 0)
                        icon = true;
                }
                const HWND owner = ::GetWindow(box, GW_OWNER);
                print(L"box text=" + std::wstring(text) + L" buttons=" + buttons + L" icon=" + (icon ? L"yes" : L"no") +
                      L" owner=" +
                      (owner == nullptr         ? L"none"
                       : owner == expectedOwner ? L"window"
                                                : L"other"));
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            ::Sleep(25);
        }
        print(L"box never appeared");
    }
    std::thread thread_;
};

inline std::atomic<int> postedHandled{0};

inline LRESULT CALLBACK countingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++postedHandled;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

inline HWND makeWindow(bool visible) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = countingProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PlatformCheckWindow";
    ::RegisterClassW(&windowClass);
    return ::CreateWindowExW(0, L"PlatformCheckWindow", L"platform check",
                             WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 10, 10, 200, 100, nullptr, nullptr,
                             windowClass.hInstance, nullptr);
}

// Peeks at the queue without dispatching: the exit code of a pending WM_QUIT.
inline std::wstring pendingQuit() {
    MSG message{};
    if (::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) return std::to_wstring(message.wParam);
    return L"none";
}

}  // namespace check

// Message boxes, the message pump, the end of the program and the clock.
#include "platform/win32/system/win32_platform.h"

#include <string_view>

namespace car {

namespace {

// A box owned by a window that is not shown yet would be hidden with it.
HWND boxOwner(HWND window) { return window != nullptr && ::IsWindowVisible(window) ? window : nullptr; }

}  // namespace

void Win32Platform::showMessage(const std::wstring& text) {
    ::MessageBoxW(boxOwner(owner_), text.c_str(), L"Compact And Repair", MB_OK);
}

// Windows lists the window with its reason when someone shuts the machine
// down or logs off; the window itself refuses the end of the session.
void Win32Platform::setShutdownBlock(const std::wstring& reason) {
    if (owner_ == nullptr) return;
    if (reason.empty()) {
        ::ShutdownBlockReasonDestroy(owner_);
    } else {
        ::ShutdownBlockReasonCreate(owner_, reason.c_str());
    }
}

namespace {

// The box a limited question shows, answered No once its time is up: a
// timer of the window's thread fires inside the box's own message loop.
bool noByItself = false;

BOOL CALLBACK answerNo(HWND window, LPARAM) {
    wchar_t className[16] = L"";
    if (::GetClassNameW(window, className, 16) == 0 || std::wstring_view(className) != L"#32770") return TRUE;
    noByItself = true;
    ::PostMessageW(window, WM_COMMAND, IDNO, 0);
    return FALSE;
}

void CALLBACK timeIsUp(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    ::EnumThreadWindows(::GetCurrentThreadId(), answerNo, 0);
}

}  // namespace

Platform::Answer Win32Platform::askYesNo(const std::wstring& text, bool noByDefault, std::uint32_t limitMs) {
    const UINT style = MB_YESNO | (noByDefault ? MB_ICONWARNING | MB_DEFBUTTON2 : MB_ICONQUESTION);
    noByItself = false;
    const UINT_PTR timer = limitMs == 0 ? 0 : ::SetTimer(nullptr, 0, limitMs, timeIsUp);
    const int answer = ::MessageBoxW(boxOwner(owner_), text.c_str(), L"Compact And Repair", style);
    if (timer != 0) ::KillTimer(nullptr, timer);
    if (answer == IDYES) return Answer::Yes;
    return noByItself ? Answer::NoByItself : Answer::No;
}

void Win32Platform::endProgram(int exitCode) { ::ExitProcess(static_cast<UINT>(exitCode)); }

bool Win32Platform::dispatchWaitingMessages() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The program's own loop must still see it and end.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        if (owner_ != nullptr && ::IsDialogMessageW(owner_, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return true;
}

void Win32Platform::pumpMessages() { dispatchWaitingMessages(); }

void Win32Platform::sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

LocalTime Win32Platform::localTime() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::uint64_t Win32Platform::milliseconds() { return ::GetTickCount64(); }

std::uint64_t Win32Platform::clockTicks() {
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    return static_cast<std::uint64_t>(counter.QuadPart);
}

}  // namespace car

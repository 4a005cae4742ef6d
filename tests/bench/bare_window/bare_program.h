// What both start-up yardsticks share with every Win32 window program: a
// frame class whose window ends the program when it is closed, and the
// message loop.
#pragma once

#include <windows.h>

namespace bare {

inline LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

inline bool registerClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, int colour) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = GetSysColorBrush(colour);
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) != 0;
}

// Shows the frame, painted, and handles messages until it is closed.
inline int showAndRun(HWND frame) {
    ShowWindow(frame, SW_SHOWNORMAL);
    UpdateWindow(frame);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace bare

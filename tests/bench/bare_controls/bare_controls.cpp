// The program's window without the program: the same frame and the same
// child windows (classes, styles, sizes and stacking order, taken from the
// program's own tables), with no fonts, no pictures, no registry, no COM and
// no logic. The start-up benchmark's second yardstick: what Wine charges for
// creating these windows at all, against which the program's own start-up
// work is measured.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "platform/win32/window/control_windows.h"
#include "platform/win32/window/window_dpi.h"
#include "platform/win32/window/window_pictures.h"
#include "ui/layout.h"

namespace {

LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool registerClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, int colour) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = GetSysColorBrush(colour);
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) != 0;
}

// A control's place in pixels; a line's is the rectangle its two end points span.
RECT placeOf(const car::ControlLayout& layout, UINT dpi) {
    const car::ControlState& s = layout.initial;
    const auto pixels = [dpi](int twips) { return car::win32::twipsToPixels(twips, dpi); };
    if (layout.kind == car::ControlKind::Line) {
        return RECT{pixels(std::min(s.left, s.width)), pixels(std::min(s.top, s.height)),
                    pixels(std::max(s.left, s.width)) + 1, pixels(std::max(s.top, s.height)) + 1};
    }
    return RECT{pixels(s.left), pixels(s.top), pixels(s.left + s.width), pixels(s.top + s.height)};
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    const std::wstring frameClass(car::kWindowClassName);
    if (!registerClass(instance, frameClass.c_str(), frameProc, COLOR_BTNFACE) ||
        !registerClass(instance, car::win32::kPictureClassName, DefWindowProcW, COLOR_WINDOW) ||
        !registerClass(instance, car::win32::kLineClassName, DefWindowProcW, COLOR_WINDOW)) {
        return 1;
    }
    const UINT dpi = car::win32::systemDpi();
    const SIZE size = car::win32::windowSizeForClient({car::win32::twipsToPixels(car::kClientWidthTwips, dpi),
                                                       car::win32::twipsToPixels(car::kClientHeightTwips, dpi)},
                                                      car::win32::kFrameStyle, car::win32::kFrameExStyle, dpi);
    const std::wstring caption(car::kFormCaption);
    HWND frame =
        CreateWindowExW(car::win32::kFrameExStyle, frameClass.c_str(), caption.c_str(), car::win32::kFrameStyle,
                        CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, instance, nullptr);
    if (frame == nullptr) return 1;

    for (const car::ControlId id : car::win32::controlWindowOrder()) {
        const car::ControlLayout& layout = car::layoutOf(id);
        const car::win32::ControlWindowClass windowClass = car::win32::controlWindowClassOf(layout);
        const bool shown = layout.initial.visible && layout.drawn;
        const RECT place = placeOf(layout, dpi);
        HWND control = CreateWindowExW(
            0, windowClass.className, car::win32::hasText(layout) ? layout.initial.caption.c_str() : L"",
            windowClass.style | (shown ? WS_VISIBLE : 0) | (layout.initial.enabled ? 0 : WS_DISABLED), place.left,
            place.top, place.right - place.left, place.bottom - place.top, frame,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(car::controlWindowId(id))), instance, nullptr);
        if (control == nullptr) return 1;
    }

    ShowWindow(frame, SW_SHOWNORMAL);
    UpdateWindow(frame);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

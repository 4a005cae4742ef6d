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

#include "bare_window/bare_program.h"
#include "platform/win32/window/control_windows.h"
#include "platform/win32/window/window_dpi.h"
#include "platform/win32/window/window_pictures.h"
#include "ui/layout.h"

namespace {

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
    if (!bare::registerClass(instance, frameClass.c_str(), bare::frameProc, COLOR_BTNFACE) ||
        !bare::registerClass(instance, car::win32::kPictureClassName, DefWindowProcW, COLOR_WINDOW) ||
        !bare::registerClass(instance, car::win32::kLineClassName, DefWindowProcW, COLOR_WINDOW)) {
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

    return bare::showAndRun(frame);
}

// The two kinds of child window the common controls have no match for: a
// picture that stretches its bitmap over its whole area, and a straight
// stroke whose window is shaped to the stroke, so that it lies over whatever
// is beneath it the way a line drawn on the form would.
#pragma once

#include <windows.h>

#include "platform/win32/window/window_handles.h"

namespace car::win32 {

inline constexpr const wchar_t* kPictureClassName = L"CarPicture";
inline constexpr const wchar_t* kLineClassName = L"CarLine";
inline constexpr COLORREF kLineColour = RGB(255, 0, 0);

// Registers both classes for the module (once; later calls do nothing).
void registerPictureClasses(HINSTANCE instance);

// A picture from the program's resources: an 8-bit bitmap, run-length
// packed or not, whose first colour is its ground, drawn in `ground` instead.
UniqueBitmap loadPicture(HINSTANCE instance, int resource, COLORREF ground);

// A picture shows the bitmap passed as the last argument of CreateWindowExW,
// or the one given later; the caller keeps the bitmap alive for as long as
// the window shows it.
void showPicture(HWND picture, HBITMAP bitmap);

// Places and shapes a line window: a stroke `penWidth` pixels wide from
// `from` to `to`, both in the parent's client coordinates.
void shapeLine(HWND line, POINT from, POINT to, int penWidth);

}  // namespace car::win32

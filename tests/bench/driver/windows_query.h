// Reading other processes' windows without ever sending them a message: the
// program under test may be blocked in a sleep or in a modal box, and a sent
// message would block the driver with it. Everything here reads what the
// window manager stores (text, class, style, place), nothing asks the window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace driver {

// The stored window text. Across processes GetWindowTextW reads it without a
// message; GetWindowTextLengthW would send one, so the buffer grows instead.
std::wstring windowText(HWND window);

std::wstring className(HWND window);
bool sameClass(HWND window, std::wstring_view name);  // class names ignore case
DWORD processOf(HWND window);

// The first top-level window (of this desktop) that matches, or null.
HWND findTopLevel(const std::function<bool(HWND)>& match);

// A child found by its id: the direct child first, then any descendant, so a
// control placed inside a container is still found.
HWND findChildById(HWND parent, int id);

// Every descendant of parent, in the window manager's order.
void forEachChild(HWND parent, const std::function<void(HWND)>& visit);

// A window's rectangle in parent's client coordinates, in pixels.
RECT rectWithin(HWND parent, HWND window);

// Dots per inch of the window's monitor as the window sees it.
unsigned dpiOf(HWND window);

}  // namespace driver

// The program's window as the driver sees it: the top-level window of class
// frmCompactAndRepair and its controls, found by the names the layout gives
// them and read as a person would see them.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "ui/layout.h"

namespace driver {

// Which process's windows the driver looks at; 0 means any process.
struct Target {
    DWORD process = 0;
    std::wstring boxTitle{car::kFormCaption};
};

HWND findMainWindow(const Target& target);

// The layout of the control so named ("cmdCompact", "Label1(1)"), or null.
const car::ControlLayout* layoutNamed(std::wstring_view name);

// Whether the control is its own window (lines and the timer are not).
bool isWindowed(car::ControlKind kind);

// The control's child window, or null when the window has none.
HWND controlWindow(HWND main, const car::ControlLayout& layout);

// One line about the window: visible=, enabled=, client=WxH, dpi=, title.
std::wstring describeMainWindow(HWND main);

// One line about a control: name, class, visible=, enabled=, x,y,w,h, text.
std::wstring describeControl(HWND main, std::wstring_view name, HWND control);

// The window line and one line per control, as the dump command prints them.
void printDump(HWND main);

}  // namespace driver

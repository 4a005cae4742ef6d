// Which window each control is shown in: its class, its style and its place
// in the stacking order. The window builds its children from this, and the
// start-up benchmark's yardstick builds the same children from it.
#pragma once

#include <windows.h>

#include <vector>

#include "ui/layout.h"

namespace car::win32 {

inline constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
inline constexpr DWORD kFrameExStyle = 0;

struct ControlWindowClass {
    const wchar_t* className;
    DWORD style;  // without WS_VISIBLE and WS_DISABLED, which follow the control's state
    bool textBox = false;
};

ControlWindowClass controlWindowClassOf(const ControlLayout& layout);

// The buttons first, in the order Tab moves through them (they never overlap
// one another, so only the tab order depends on their sequence); then every
// other control from the top of the stacking order down. The timer has no window.
std::vector<ControlId> controlWindowOrder();

// Whether the control's window is created with its caption as its text.
inline bool hasText(const ControlLayout& layout) {
    return layout.kind == ControlKind::Button || layout.kind == ControlKind::Label;
}

}  // namespace car::win32

// The window's layout: every control with its place, size, caption and
// initial state, in stacking order from the top down.
#pragma once

#include <span>
#include <string_view>

#include "ui/control.h"

namespace car {

enum class ControlKind { Window, Button, Timer, ProgressBar, Picture, Line, Label };

struct ControlLayout {
    ControlId id;
    std::wstring_view name;
    ControlKind kind;
    ControlState initial;  // for lines: left/top = X1/Y1, width/height = X2/Y2
    bool whiteBackground = false;
    bool border = false;
    bool drawn = true;  // a line laid out but never drawn (the organizer's stroke)
};

inline constexpr int kClientWidthTwips = 7275;
inline constexpr int kClientHeightTwips = 3645;
inline constexpr std::wstring_view kFormCaption = L"Compact And Repair";
inline constexpr std::wstring_view kReadyStatus =
    L"Click 'Compact and Repair' to begin. Please note that Teamharbor, Quorvin Mail Server and Quorvin "
    L"Organizer (if installed) will be shutdown. IIS will also be restarted if QO is installed.";

// The real window's class name, and the child-window id of each control, so
// that the window, screen readers and the test driver agree on them.
inline constexpr std::wstring_view kWindowClassName = L"frmCompactAndRepair";
constexpr int controlWindowId(ControlId id) { return 100 + static_cast<int>(id); }

// The controls in stacking order, top first; the form itself is not listed.
std::span<const ControlLayout> controlLayouts();
const ControlLayout& layoutOf(ControlId id);

}  // namespace car

// Each property the logic sets reaches the real window at once, so that
// whatever the logic has set is on the screen by the next time the window's
// messages are handled.
#include <windows.h>

#include <commctrl.h>

#include <cmath>

#include "platform/win32/window/window.h"
#include "ui/layout.h"

namespace car {
namespace {

int rounded(float value) { return static_cast<int>(std::lround(value)); }

// The themed progress bar glides towards a higher position over a few
// hundred milliseconds of message handling, which the pause after each step
// would freeze halfway. A lower position is drawn at once, so go one past
// the position and back.
void setProgressPosition(HWND bar, int position, int maximum) {
    if (position < maximum) {
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position + 1), 0);
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
        return;
    }
    SendMessageW(bar, PBM_SETRANGE32, 0, maximum + 1);
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(maximum + 1), 0);
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(maximum), 0);
    SendMessageW(bar, PBM_SETRANGE32, 0, maximum);
}

// Each message that moves the bar paints it at once, several milliseconds
// under a theme: the messages of one change are drawn as one. WM_SETREDRAW
// TRUE shows a hidden window, so only a bar that is shown is held.
class OnePaint {
public:
    explicit OnePaint(HWND bar) : bar_((GetWindowLongW(bar, GWL_STYLE) & WS_VISIBLE) != 0 ? bar : nullptr) {
        if (bar_ != nullptr) SendMessageW(bar_, WM_SETREDRAW, FALSE, 0);
    }
    OnePaint(const OnePaint&) = delete;
    OnePaint& operator=(const OnePaint&) = delete;
    ~OnePaint() {
        if (bar_ == nullptr) return;
        SendMessageW(bar_, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(bar_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }

private:
    HWND bar_;
};

}  // namespace

void Win32Window::changed(ControlId id, Property property, const ControlState& state) {
    child(id).state = state;
    if (id == ControlId::Form) {
        if (property == Property::Caption) SetWindowTextW(window_, state.caption.c_str());
        if (property == Property::Enabled) EnableWindow(window_, state.enabled);
        if (property == Property::Visible) ShowWindow(window_, state.visible ? SW_SHOW : SW_HIDE);
        return;
    }
    const ControlLayout& layout = layoutOf(id);
    if (layout.kind == ControlKind::Timer) {
        applyTimer();
        return;
    }
    const HWND window = child(id).window;
    switch (property) {
        case Property::Visible:
            applyVisible(id);
            break;
        case Property::Enabled:
            EnableWindow(window, state.enabled);
            if (layout.kind == ControlKind::Button) focusFirstButtonIfNone();
            break;
        case Property::Caption:
            if (layout.kind == ControlKind::Button || layout.kind == ControlKind::Label) {
                SetWindowTextW(window, state.caption.c_str());
                fitCaption(id);
                InvalidateRect(window, nullptr, TRUE);
                UpdateWindow(window);
            }
            break;
        case Property::Left:
        case Property::Width:
            place(id);
            fitCaption(id);
            UpdateWindow(window_);
            break;
        case Property::Value:
        case Property::Max:
            if (layout.kind == ControlKind::ProgressBar) applyProgress(id, property);
            break;
        case Property::Interval:
            break;
    }
}

void Win32Window::applyVisible(ControlId id) {
    const Child& control = child(id);
    // A line laid out but not drawn stays hidden whatever its property says.
    const bool shown = control.state.visible && layoutOf(id).drawn;
    ShowWindow(control.window, shown ? SW_SHOWNA : SW_HIDE);
    if (layoutOf(id).kind == ControlKind::Button) focusFirstButtonIfNone();
    UpdateWindow(window_);
}

void Win32Window::applyProgress(ControlId id, Property property) {
    const Child& control = child(id);
    const int maximum = rounded(control.state.max);
    const OnePaint paint(control.window);
    if (property == Property::Max) SendMessageW(control.window, PBM_SETRANGE32, 0, maximum);
    setProgressPosition(control.window, rounded(control.state.value), maximum);
}

void Win32Window::applyTimer() {
    const ControlState& timer = child(ControlId::tmrSpin).state;
    if (timer.enabled && timer.interval > 0) {
        // Setting it again restarts the count, as a changed interval should.
        timerRunning_ = SetTimer(window_, kSpinTimerId, static_cast<UINT>(timer.interval), nullptr) != 0;
    } else if (timerRunning_) {
        KillTimer(window_, kSpinTimerId);
        timerRunning_ = false;
    }
}

}  // namespace car

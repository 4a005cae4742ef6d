// The window's messages: the events it raises on the form, the colours of
// its labels, and where the keyboard focus goes.
#include <cstdint>

#include "platform/win32/window/window.h"
#include "ui/layout.h"

namespace car {
namespace {

constexpr ControlId kButtonsInTabOrder[] = {ControlId::cmdCompact, ControlId::cmdClose, ControlId::cmdOpenDataFolder};

template <class Handle>
Handle handleFrom(std::uintptr_t value) {
    return reinterpret_cast<Handle>(value);
}

}  // namespace

LRESULT CALLBACK Win32Window::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32Window*>(handleFrom<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handleMessage(message, wParam, lParam);
}

LRESULT Win32Window::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(wParam, lParam);
            return 0;
        case DM_GETDEFID: {
            // Asked by the dialog keyboard handling when Enter is pressed: the
            // focused button is the one Enter presses.
            const HWND focus = GetFocus();
            if (isButton(focus) && IsWindowEnabled(focus)) {
                return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(GetDlgCtrlID(focus)), DC_HASDEFID));
            }
            return 0;
        }
        case WM_CTLCOLORSTATIC:  // labels, and the read-only text boxes too
            return onControlColour(handleFrom<HDC>(wParam), handleFrom<HWND>(static_cast<std::uintptr_t>(lParam)));
        case WM_SYSCOLORCHANGE:
            onSystemColours();
            return 0;
        case WM_TIMER:
            if (wParam == kSpinTimerId) runEvent(FormEvent::SpinTimer);
            return 0;
        case WM_CLOSE:
            onClose();
            return 0;
        case WM_QUERYENDSESSION:
            // A logoff or a shutdown in the middle of a run would leave the
            // suite stopped.
            return form_ == nullptr || form_->mayUnload() ? TRUE : FALSE;
        case WM_ENDSESSION:
            // Forced all the same: the log says so before Windows ends the program.
            if (wParam != FALSE && form_ != nullptr && !form_->mayUnload()) runEvent(FormEvent::SessionEnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(kExitLeft);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (focus != nullptr && IsChild(window_, focus)) focusBeforeDeactivation_ = focus;
            }
            break;
        case WM_SETFOCUS:
            restoreFocus();
            return 0;
        case WM_DPICHANGED:
            applyDpi(LOWORD(wParam));
            resizeFrame(handleFrom<const RECT*>(static_cast<std::uintptr_t>(lParam)));
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32Window::onCommand(WPARAM wParam, LPARAM lParam) {
    if (HIWORD(wParam) != BN_CLICKED) return;
    // Esc, from the dialog keyboard handling: the window has no control of that id.
    if (LOWORD(wParam) == IDCANCEL && lParam == 0) {
        onEscape();
        return;
    }
    const HWND button = handleFrom<HWND>(static_cast<std::uintptr_t>(lParam));
    if (!isButton(button)) return;
    // A hidden or disabled button cannot be pressed, whatever sends the click.
    if (!IsWindowVisible(button) || !IsWindowEnabled(button)) return;
    switch (controlOf(button)) {
        case ControlId::cmdCompact:
            runEvent(FormEvent::CompactClick);
            break;
        case ControlId::cmdClose:
            runEvent(FormEvent::CloseClick);
            break;
        case ControlId::cmdOpenDataFolder:
            runEvent(FormEvent::OpenDataFolderClick);
            break;
        default:
            break;
    }
}

// Esc presses "Cancel" before a run and "Exit" after it; during a run the
// button is hidden and Esc does nothing, as the button's own click would not.
void Win32Window::onEscape() {
    const HWND close = child(ControlId::cmdClose).window;
    if (IsWindowVisible(close) && IsWindowEnabled(close)) runEvent(FormEvent::CloseClick);
}

// The close box ends the program as "Exit" does, but not while a run is in
// progress: a run cut short in the middle of the file swap would leave no
// database under its name.
void Win32Window::onClose() {
    if (form_ == nullptr) {
        DestroyWindow(window_);
        return;
    }
    if (!form_->mayUnload()) {
        MessageBeep(MB_OK);
        return;
    }
    platform_.endProgram(kExitLeft);
}

// Text and ground from the same pair of system colours, so that every text
// stays readable in any colour scheme: the white areas are the window
// colour (white in the default scheme), the rest the face of a dialog.
LRESULT Win32Window::onControlColour(HDC dc, HWND control) {
    const ControlId id = controlOf(control);
    const bool white = id != ControlId::Form && layoutOf(id).whiteBackground;
    const int ground = white ? COLOR_WINDOW : COLOR_BTNFACE;
    SetTextColor(dc, GetSysColor(white ? COLOR_WINDOWTEXT : COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(ground));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(ground));
}

// The pictures' ground follows the window colour; the progress bar, a common
// control, learns of the change only from its parent.
void Win32Window::onSystemColours() {
    loadPictures();
    SendMessageW(child(ControlId::prjProgress).window, WM_SYSCOLORCHANGE, 0, 0);
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void Win32Window::runEvent(FormEvent event) {
    if (form_ != nullptr) form_->raise(event);
}

// A plain window does not remember its focused control while another window
// is active, so it does so itself; with nothing to return to, the first
// button that can be used takes the focus.
void Win32Window::restoreFocus() {
    HWND target = focusBeforeDeactivation_;
    if (target == nullptr || !IsChild(window_, target) || !IsWindowVisible(target) || !IsWindowEnabled(target)) {
        target = focusableButton();
    }
    if (target != nullptr) SetFocus(target);
}

// Hiding or disabling the focused button leaves the keyboard with nothing to
// act on; once a button can be used again it takes the focus.
void Win32Window::focusFirstButtonIfNone() {
    if (window_ == nullptr || GetActiveWindow() != window_) return;
    const HWND focus = GetFocus();
    if (focus != nullptr && focus != window_ && IsChild(window_, focus)) return;
    if (const HWND button = focusableButton(); button != nullptr) SetFocus(button);
}

HWND Win32Window::focusableButton() const {
    for (const ControlId id : kButtonsInTabOrder) {
        const HWND button = child(id).window;
        if (IsWindowVisible(button) && IsWindowEnabled(button)) return button;
    }
    return nullptr;
}

bool Win32Window::isButton(HWND window) const {
    const ControlId id = controlOf(window);
    return id != ControlId::Form && layoutOf(id).kind == ControlKind::Button;
}

ControlId Win32Window::controlOf(HWND window) const {
    if (window == nullptr) return ControlId::Form;
    for (std::size_t i = 1; i < kControlCount; ++i) {
        if (children_[i].window == window) return static_cast<ControlId>(i);
    }
    return ControlId::Form;
}

}  // namespace car

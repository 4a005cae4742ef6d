#include "platform/win32/window/window.h"

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/error_text.h"
#include "platform/win32/window/window_class.h"
#include "platform/win32/window/window_dpi.h"
#include "platform/win32/window/window_pictures.h"
#include "platform/win32/window/window_text_boxes.h"
#include "resources/resource_ids.h"
#include "ui/layout.h"

namespace car {
namespace {

constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFrameExStyle = 0;
constexpr int kLineWidthPixels = 3;  // at 96 DPI

// The buttons first, in the order Tab moves through them (they never overlap
// one another, so only the tab order depends on their sequence); then every
// other control from the top of the stacking order down. The timer has no window.
std::vector<ControlId> stackingOrder() {
    std::vector<ControlId> order{ControlId::cmdCompact, ControlId::cmdClose, ControlId::cmdOpenDataFolder};
    for (const ControlLayout& layout : controlLayouts()) {
        if (layout.kind != ControlKind::Button && layout.kind != ControlKind::Timer) order.push_back(layout.id);
    }
    return order;
}

struct ChildClass {
    const wchar_t* className;
    DWORD style;
    bool textBox = false;
};

ChildClass childClassOf(const ControlLayout& layout) {
    const DWORD common = WS_CHILD | WS_CLIPSIBLINGS;
    switch (layout.kind) {
        case ControlKind::Button:
            return {WC_BUTTONW, common | WS_TABSTOP | BS_PUSHBUTTON};
        case ControlKind::ProgressBar:
            return {PROGRESS_CLASSW, common};
        case ControlKind::Picture:
            return {win32::kPictureClassName, common};
        case ControlKind::Line:
            return {win32::kLineClassName, common};
        case ControlKind::Label:
        default:
            // The path and the status can be selected and copied; their border,
            // if any, is drawn by the text box itself (adoptTextBox).
            if (layout.id == ControlId::txtDBPath || layout.id == ControlId::lblStatus) {
                return {WC_EDITW, common | win32::textBoxStyle(layout.id == ControlId::lblStatus), true};
            }
            // Prefix characters stay literal, and the captions wrap.
            return {WC_STATICW, common | SS_NOPREFIX | SS_LEFT | (layout.border ? WS_BORDER : 0)};
    }
}

std::optional<win32::CaptionLayout> captionLayoutOf(const ControlLayout& layout) {
    if (layout.kind == ControlKind::Button) return win32::CaptionLayout::Button;
    if (layout.kind != ControlKind::Label) return std::nullopt;
    if (layout.id == ControlId::txtDBPath) return win32::CaptionLayout::PathBox;
    if (layout.id == ControlId::lblStatus) return win32::CaptionLayout::StatusBox;
    return win32::CaptionLayout::Label;
}

// Each picture is stored at the size it has at 96 DPI and at twice that.
int bitmapResourceOf(ControlId id, bool doubleSize) {
    switch (id) {
        case ControlId::imgTP:
            return doubleSize ? CAR_IDB_MAIL_SERVER_2X : CAR_IDB_MAIL_SERVER;
        case ControlId::imgQO:
            return doubleSize ? CAR_IDB_ORGANIZER_2X : CAR_IDB_ORGANIZER;
        case ControlId::imgTH:
            return doubleSize ? CAR_IDB_GROUPWARE_SERVER_2X : CAR_IDB_GROUPWARE_SERVER;
        case ControlId::imgTick:
            return doubleSize ? CAR_IDB_TICK_2X : CAR_IDB_TICK;
        default:
            return 0;
    }
}

win32::UniqueIcon programIcon(HINSTANCE instance, int size) {
    return win32::UniqueIcon(
        static_cast<HICON>(LoadImageW(instance, win32::resourceName(CAR_IDI_PROGRAM), IMAGE_ICON, size, size, 0)));
}

const std::wstring& frameClassName() {
    static const std::wstring name(kWindowClassName);
    return name;
}

}  // namespace

Win32Window::Win32Window(HINSTANCE instance, Platform& platform) : instance_(instance), platform_(platform) {
    child(ControlId::Form).state = layoutOf(ControlId::Form).initial;
    for (const ControlLayout& layout : controlLayouts()) child(layout.id).state = layout.initial;
    win32::registerPictureClasses(instance_);
    createFrame();
    createChildren();
    applyDpi(win32::dpiForWindow(window_));
    resizeFrame(nullptr);
}

Win32Window::~Win32Window() {
    form_ = nullptr;  // the form may already be gone; no event reaches it now
    if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
}

void Win32Window::attach(FormEvents& form) { form_ = &form; }

void Win32Window::show() {
    ShowWindow(window_, SW_SHOWNORMAL);
    // Painted in full before the first message is handled, controls included.
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const HWND compact = child(ControlId::cmdCompact).window;
    SetFocus(IsWindowVisible(compact) && IsWindowEnabled(compact) ? compact : focusableButton());
}

void Win32Window::createFrame() {
    win32::registerWindowClass(
        instance_, {frameClassName().c_str(), &Win32Window::windowProc,
                    LoadIconW(instance_, win32::resourceName(CAR_IDI_PROGRAM)), GetSysColorBrush(COLOR_BTNFACE)});
    const std::wstring caption = child(ControlId::Form).state.caption;
    // Sized for the system DPI here; applyDpi sizes it for its monitor.
    const UINT dpi = win32::systemDpi();
    const SIZE size = win32::windowSizeForClient(
        {win32::twipsToPixels(kClientWidthTwips, dpi), win32::twipsToPixels(kClientHeightTwips, dpi)}, kFrameStyle,
        kFrameExStyle, dpi);
    window_ = CreateWindowExW(kFrameExStyle, frameClassName().c_str(), caption.c_str(), kFrameStyle, CW_USEDEFAULT,
                              CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, instance_, this);
    if (window_ == nullptr) win32::throwLastError(L"The window could not be created.");
}

void Win32Window::createChildren() {
    HWND above = HWND_TOP;
    for (const ControlId id : stackingOrder()) {
        const ControlLayout& layout = layoutOf(id);
        Child& control = child(id);
        const ChildClass childClass = childClassOf(layout);
        const bool shown = control.state.visible && layout.drawn;
        const bool hasText = layout.kind == ControlKind::Button || layout.kind == ControlKind::Label;
        control.window =
            CreateWindowExW(0, childClass.className, hasText ? control.state.caption.c_str() : L"",
                            childClass.style | (shown ? WS_VISIBLE : 0) | (control.state.enabled ? 0 : WS_DISABLED), 0,
                            0, 0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlWindowId(id))),
                            instance_, bitmaps_[static_cast<std::size_t>(id)].get());
        if (control.window == nullptr) win32::throwLastError(L"A control of the window could not be created.");
        if (childClass.textBox) win32::adoptTextBox(control.window, layout.border);
        // Earlier controls lie over later ones.
        SetWindowPos(control.window, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = control.window;
        if (layout.kind == ControlKind::ProgressBar) applyProgress(id, Property::Max);
    }
    applyTimer();
}

void Win32Window::applyDpi(UINT dpi) {
    dpi_ = dpi;
    // The old sizes are deleted only once no control uses them.
    const win32::FontSizes previous = std::exchange(fonts_, win32::FontSizes(dpi_));

    bigIcon_ = programIcon(instance_, win32::systemMetricForDpi(SM_CXICON, dpi_));
    smallIcon_ = programIcon(instance_, win32::systemMetricForDpi(SM_CXSMICON, dpi_));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));

    for (std::size_t i = 1; i < kControlCount; ++i) place(static_cast<ControlId>(i));
    for (std::size_t i = 1; i < kControlCount; ++i) fitCaption(static_cast<ControlId>(i));
    loadPictures();
    InvalidateRect(window_, nullptr, TRUE);
}

// Sizes the frame for the client area at the current DPI: at the place the
// system suggests after a DPI change, else centred on the window's monitor.
void Win32Window::resizeFrame(const RECT* suggested) {
    const SIZE size = win32::windowSizeForClient(
        {win32::twipsToPixels(kClientWidthTwips, dpi_), win32::twipsToPixels(kClientHeightTwips, dpi_)}, kFrameStyle,
        kFrameExStyle, dpi_);
    POINT origin{};
    if (suggested != nullptr) {
        origin = POINT{suggested->left, suggested->top};
    } else {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
        const RECT& work = monitor.rcWork;
        origin = POINT{work.left + (work.right - work.left - size.cx) / 2,
                       work.top + (work.bottom - work.top - size.cy) / 2};
    }
    SetWindowPos(window_, nullptr, origin.x, origin.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::place(ControlId id) {
    const Child& control = child(id);
    if (control.window == nullptr) return;
    const ControlState& state = control.state;
    const auto pixels = [this](int twips) { return win32::twipsToPixels(twips, dpi_); };
    if (layoutOf(id).kind == ControlKind::Line) {
        // A line keeps its end points where other controls keep their place and size.
        win32::shapeLine(control.window, POINT{pixels(state.left), pixels(state.top)},
                         POINT{pixels(state.width), pixels(state.height)}, win32::scalePixels(kLineWidthPixels, dpi_));
        return;
    }
    MoveWindow(control.window, pixels(state.left), pixels(state.top), pixels(state.width), pixels(state.height), TRUE);
}

// Measured with the control's own place and size, so after every change of
// either, of the caption or of the DPI.
void Win32Window::fitCaption(ControlId id) {
    Child& control = child(id);
    const std::optional<win32::CaptionLayout> layout = captionLayoutOf(layoutOf(id));
    if (control.window == nullptr || !layout) return;
    const HFONT font = fonts_.fitting(control.window, *layout, control.state.caption);
    // The status box has just tried other sizes on itself.
    if (font == control.font && *layout != win32::CaptionLayout::StatusBox) return;
    control.font = font;
    win32::setControlFont(control.window, *layout, font, true);
}

// The size drawn at 96 DPI up to it, the double size (reduced) above it. The
// pictures' white ground takes the system's window colour, so that they sit
// on the banner and in the status box in any colour scheme.
void Win32Window::loadPictures() {
    for (const ControlLayout& layout : controlLayouts()) {
        const int resource = bitmapResourceOf(layout.id, dpi_ > win32::kDefaultDpi);
        if (resource == 0) continue;
        win32::UniqueBitmap bitmap = win32::loadPicture(instance_, resource, GetSysColor(COLOR_WINDOW));
        win32::showPicture(child(layout.id).window, bitmap.get());
        bitmaps_[static_cast<std::size_t>(layout.id)] = std::move(bitmap);  // the one shown before is gone
    }
}

}  // namespace car

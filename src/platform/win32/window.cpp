#include "platform/win32/window.h"

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/win32/window_dpi.h"
#include "platform/win32/window_pictures.h"
#include "resources/resource_ids.h"
#include "ui/layout.h"

namespace car {
namespace {

constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFrameExStyle = 0;
constexpr int kLineWidthPixels = 3;  // at 96 DPI

[[noreturn]] void throwLastError(const wchar_t* what) {
    const DWORD code = GetLastError();
    throw Error{hresult(code == 0 ? 0x80004005u : (0x80070000u | (code & 0xFFFFu))), what};
}

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
    default: {
        // Prefix characters stay literal: a path or status may hold '&'.
        DWORD style = common | SS_NOPREFIX | (layout.border ? WS_BORDER : 0);
        // The path box keeps to one line and shortens a long path in its
        // middle, so the file's name stays readable; other labels wrap.
        style |= layout.id == ControlId::txtDBPath ? (SS_LEFTNOWORDWRAP | SS_PATHELLIPSIS) : SS_LEFT;
        return {WC_STATICW, style};
    }
    }
}

int bitmapResourceOf(ControlId id) {
    switch (id) {
    case ControlId::imgTP:
        return CAR_IDB_MAIL_SERVER;
    case ControlId::imgQO:
        return CAR_IDB_ORGANIZER;
    case ControlId::imgTH:
        return CAR_IDB_GROUPWARE_SERVER;
    case ControlId::imgTick:
        return CAR_IDB_TICK;
    default:
        return 0;
    }
}

// The default dialog font, at the window's DPI.
win32::UniqueFont dialogFont(UINT dpi) {
    LOGFONTW font{};
    if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font) == 0) return nullptr;
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(win32::systemDpi()));
    return win32::UniqueFont(CreateFontIndirectW(&font));
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
    for (const ControlLayout& layout : controlLayouts()) {
        child(layout.id).state = layout.initial;
        if (const int resource = bitmapResourceOf(layout.id); resource != 0) {
            bitmaps_[static_cast<std::size_t>(layout.id)].reset(static_cast<HBITMAP>(
                LoadImageW(instance_, win32::resourceName(resource), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        }
    }
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

void Win32Window::attach(frmCompactAndRepair& form) { form_ = &form; }

void Win32Window::show() {
    ShowWindow(window_, SW_SHOWNORMAL);
    // Painted in full before the first message is handled, controls included.
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const HWND compact = child(ControlId::cmdCompact).window;
    SetFocus(IsWindowVisible(compact) && IsWindowEnabled(compact) ? compact : focusableButton());
}

void Win32Window::createFrame() {
    WNDCLASSEXW frameClass{};
    frameClass.cbSize = sizeof frameClass;
    if (!GetClassInfoExW(instance_, frameClassName().c_str(), &frameClass)) {
        frameClass = WNDCLASSEXW{};
        frameClass.cbSize = sizeof frameClass;
        frameClass.lpfnWndProc = &Win32Window::windowProc;
        frameClass.hInstance = instance_;
        frameClass.hIcon = LoadIconW(instance_, win32::resourceName(CAR_IDI_PROGRAM));
        frameClass.hCursor = LoadCursorW(nullptr, win32::resourceName(32512));  // IDC_ARROW
        frameClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        frameClass.lpszClassName = frameClassName().c_str();
        if (RegisterClassExW(&frameClass) == 0) throwLastError(L"The window class could not be registered.");
    }
    const std::wstring caption = child(ControlId::Form).state.caption;
    // Sized for the system DPI here; applyDpi sizes it for its monitor.
    const UINT dpi = win32::systemDpi();
    const SIZE size = win32::windowSizeForClient(
        {win32::twipsToPixels(kClientWidthTwips, dpi), win32::twipsToPixels(kClientHeightTwips, dpi)}, kFrameStyle,
        kFrameExStyle, dpi);
    window_ = CreateWindowExW(kFrameExStyle, frameClassName().c_str(), caption.c_str(), kFrameStyle, CW_USEDEFAULT,
                              CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, instance_, this);
    if (window_ == nullptr) throwLastError(L"The window could not be created.");
}

void Win32Window::createChildren() {
    HWND above = HWND_TOP;
    for (const ControlId id : stackingOrder()) {
        const ControlLayout& layout = layoutOf(id);
        Child& control = child(id);
        const ChildClass childClass = childClassOf(layout);
        const bool shown = control.state.visible && layout.drawn;
        const bool hasText = layout.kind == ControlKind::Button || layout.kind == ControlKind::Label;
        control.window = CreateWindowExW(
            0, childClass.className, hasText ? control.state.caption.c_str() : L"",
            childClass.style | (shown ? WS_VISIBLE : 0) | (control.state.enabled ? 0 : WS_DISABLED), 0, 0, 0, 0,
            window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlWindowId(id))), instance_,
            bitmaps_[static_cast<std::size_t>(id)].get());
        if (control.window == nullptr) throwLastError(L"A control of the window could not be created.");
        // Earlier controls lie over later ones.
        SetWindowPos(control.window, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = control.window;
        if (layout.kind == ControlKind::ProgressBar) applyProgress(id, Property::Max);
    }
    applyTimer();
}

void Win32Window::applyDpi(UINT dpi) {
    dpi_ = dpi;
    win32::UniqueFont font = dialogFont(dpi_);
    for (const Child& control : children_) {
        if (control.window != nullptr && control.window != window_) {
            SendMessageW(control.window, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        }
    }
    font_ = std::move(font);  // the old font is deleted only once no control uses it

    bigIcon_ = programIcon(instance_, win32::systemMetricForDpi(SM_CXICON, dpi_));
    smallIcon_ = programIcon(instance_, win32::systemMetricForDpi(SM_CXSMICON, dpi_));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));

    for (std::size_t i = 1; i < kControlCount; ++i) place(static_cast<ControlId>(i));
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
                         POINT{pixels(state.width), pixels(state.height)},
                         win32::scalePixels(kLineWidthPixels, dpi_));
        return;
    }
    MoveWindow(control.window, pixels(state.left), pixels(state.top), pixels(state.width), pixels(state.height),
               TRUE);
}

}  // namespace car

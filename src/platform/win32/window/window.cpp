#include "platform/win32/window/window.h"

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "platform/win32/error_text.h"
#include "platform/win32/window/control_windows.h"
#include "platform/win32/window/window_class.h"
#include "platform/win32/window/window_dpi.h"
#include "platform/win32/window/window_pictures.h"
#include "platform/win32/window/window_text_boxes.h"
#include "resources/resource_ids.h"
#include "ui/layout.h"

namespace car {
namespace {

constexpr int kLineWidthPixels = 3;  // at 96 DPI

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

HICON loadProgramIcon(HINSTANCE instance, int size, UINT flags) {
    return static_cast<HICON>(
        LoadImageW(instance, win32::resourceName(CAR_IDI_PROGRAM), IMAGE_ICON, size, size, flags));
}

win32::UniqueIcon programIcon(HINSTANCE instance, int size) {
    return win32::UniqueIcon(loadProgramIcon(instance, size, 0));
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
    dpi_ = win32::dpiForWindow(window_);
    fonts_ = win32::FontSizes(dpi_);
    createChildren();
    applyDpiResources();
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
    // The class's icons have the system DPI's sizes, kept for the module's life.
    win32::registerWindowClass(
        instance_, {frameClassName().c_str(), &Win32Window::windowProc,
                    loadProgramIcon(instance_, GetSystemMetrics(SM_CXICON), LR_SHARED), GetSysColorBrush(COLOR_BTNFACE),
                    loadProgramIcon(instance_, GetSystemMetrics(SM_CXSMICON), LR_SHARED)});
    const std::wstring caption = child(ControlId::Form).state.caption;
    // Sized for the system DPI here; resizeFrame sizes it for its monitor's.
    const UINT dpi = win32::systemDpi();
    const SIZE size = win32::windowSizeForClient(
        {win32::twipsToPixels(kClientWidthTwips, dpi), win32::twipsToPixels(kClientHeightTwips, dpi)},
        win32::kFrameStyle, win32::kFrameExStyle, dpi);
    window_ = CreateWindowExW(win32::kFrameExStyle, frameClassName().c_str(), caption.c_str(), win32::kFrameStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, instance_, this);
    if (window_ == nullptr) win32::throwLastError(L"The window could not be created.");
}

// Each control is created where it belongs at the window's DPI, a line
// shaped to its stroke.
void Win32Window::createChildren() {
    HWND above = nullptr;
    for (const ControlId id : win32::controlWindowOrder()) {
        const ControlLayout& layout = layoutOf(id);
        Child& control = child(id);
        const win32::ControlWindowClass childClass = win32::controlWindowClassOf(layout);
        const bool shown = control.state.visible && layout.drawn;
        const bool line = layout.kind == ControlKind::Line;
        const PixelPlace place = line ? PixelPlace{} : pixelPlace(control.state);
        control.window = CreateWindowExW(
            0, childClass.className, win32::hasText(layout) ? control.state.caption.c_str() : L"",
            childClass.style | (shown ? WS_VISIBLE : 0) | (control.state.enabled ? 0 : WS_DISABLED), place.x, place.y,
            place.width, place.height, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlWindowId(id))),
            instance_, bitmaps_[static_cast<std::size_t>(id)].get());
        if (control.window == nullptr) win32::throwLastError(L"A control of the window could not be created.");
        if (childClass.textBox) win32::adoptTextBox(control.window, layout.border);
        if (line) this->place(id);
        // Earlier controls lie over later ones. A new child window usually
        // comes in below its siblings already; where it does not, it is moved.
        if (GetWindow(control.window, GW_HWNDPREV) != above) {
            SetWindowPos(control.window, above == nullptr ? HWND_TOP : above, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        above = control.window;
        if (layout.kind == ControlKind::ProgressBar) applyProgress(id, Property::Max);
    }
    applyTimer();
}

void Win32Window::applyDpi(UINT dpi) {
    dpi_ = dpi;
    // The old sizes are deleted only once no control uses them.
    const win32::FontSizes previous = std::exchange(fonts_, win32::FontSizes(dpi_));
    for (std::size_t i = 1; i < kControlCount; ++i) place(static_cast<ControlId>(i));
    applyDpiResources();
}

// What is drawn or measured for the DPI: the icons, the captions' fonts and the pictures.
void Win32Window::applyDpiResources() {
    // At the system DPI the class's icons are the right sizes, until the
    // window has had icons of its own for another DPI.
    if (dpi_ != win32::systemDpi() || bigIcon_ != nullptr) {
        bigIcon_ = programIcon(instance_, win32::systemMetricForDpi(SM_CXICON, dpi_));
        smallIcon_ = programIcon(instance_, win32::systemMetricForDpi(SM_CXSMICON, dpi_));
        SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
        SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    }
    for (std::size_t i = 1; i < kControlCount; ++i) fitCaption(static_cast<ControlId>(i));
    loadPictures();
    InvalidateRect(window_, nullptr, TRUE);
}

Win32Window::PixelPlace Win32Window::pixelPlace(const ControlState& state) const {
    const auto pixels = [this](int twips) { return win32::twipsToPixels(twips, dpi_); };
    return PixelPlace{pixels(state.left), pixels(state.top), pixels(state.width), pixels(state.height)};
}

// Sizes the frame for the client area at the current DPI: at the place the
// system suggests after a DPI change, else centred on the window's monitor.
void Win32Window::resizeFrame(const RECT* suggested) {
    const SIZE size = win32::windowSizeForClient(
        {win32::twipsToPixels(kClientWidthTwips, dpi_), win32::twipsToPixels(kClientHeightTwips, dpi_)},
        win32::kFrameStyle, win32::kFrameExStyle, dpi_);
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
    RECT current{};
    GetWindowRect(window_, &current);
    const bool sameSize = current.right - current.left == size.cx && current.bottom - current.top == size.cy;
    SetWindowPos(window_, nullptr, origin.x, origin.y, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | (sameSize ? SWP_NOSIZE : 0));
}

void Win32Window::place(ControlId id) {
    const Child& control = child(id);
    if (control.window == nullptr) return;
    const ControlState& state = control.state;
    if (layoutOf(id).kind == ControlKind::Line) {
        // A line keeps its end points where other controls keep their place and size.
        const PixelPlace ends = pixelPlace(state);
        win32::shapeLine(control.window, POINT{ends.x, ends.y}, POINT{ends.width, ends.height},
                         win32::scalePixels(kLineWidthPixels, dpi_));
        return;
    }
    const PixelPlace place = pixelPlace(state);
    MoveWindow(control.window, place.x, place.y, place.width, place.height, TRUE);
}

// Measured with the control's own place and size, so after every change of
// either, of the caption or of the DPI.
void Win32Window::fitCaption(ControlId id) {
    const Child& control = child(id);
    const std::optional<win32::CaptionLayout> layout = captionLayoutOf(layoutOf(id));
    if (control.window == nullptr || !layout) return;
    const HFONT font = fonts_.fitting(control.window, *layout, control.state.caption);
    if (reinterpret_cast<HFONT>(SendMessageW(control.window, WM_GETFONT, 0, 0)) != font) {
        win32::setControlFont(control.window, *layout, font, true);
    } else if (*layout == win32::CaptionLayout::StatusBox) {
        InvalidateRect(control.window, nullptr, TRUE);  // its trials wrapped it anew, unpainted
    }
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

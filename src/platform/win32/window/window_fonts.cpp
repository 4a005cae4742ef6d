#include "platform/win32/window/window_fonts.h"

#include <algorithm>
#include <cstdlib>

#include "platform/win32/window/window_dpi.h"

namespace car::win32 {
namespace {

// A push button's frame and the gap its focus rectangle keeps, at 96 DPI: a
// caption drawn closer to the edge is cut by the frame.
constexpr int kButtonInsetPixels = 4;
// Below two thirds of the full size a caption is no longer comfortably read.
constexpr int kSmallestPercent = 66;

SIZE measured(HDC dc, const std::wstring& text, UINT format, LONG width) {
    RECT rect{0, 0, width, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format | DT_CALCRECT);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

bool fitsIn(SIZE size, LONG width, LONG height) { return size.cx <= width && size.cy <= height; }

}  // namespace

FontSizes::FontSizes(UINT dpi) : dpi_(dpi) {
    if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof base_, &base_) == 0) {
        base_ = LOGFONTW{};  // no font of our own: the controls keep the system's
        return;
    }
    base_.lfHeight = MulDiv(base_.lfHeight, static_cast<int>(dpi), static_cast<int>(systemDpi()));
}

HFONT FontSizes::fitting(HWND control, CaptionLayout layout, const std::wstring& caption) {
    const int full = std::abs(base_.lfHeight);
    if (full == 0) return nullptr;
    const int smallest = std::max(1, full * kSmallestPercent / 100);
    for (int height = full; height > smallest; --height) {
        const HFONT font = sized(height);
        if (font != nullptr && fits(control, layout, caption, font)) return font;
    }
    return sized(smallest);
}

HFONT FontSizes::sized(int height) {
    UniqueFont& font = fonts_[height];
    if (font == nullptr) {
        LOGFONTW description = base_;
        description.lfHeight = base_.lfHeight < 0 ? -height : height;
        font.reset(CreateFontIndirectW(&description));
    }
    return font.get();
}

bool FontSizes::fits(HWND control, CaptionLayout layout, const std::wstring& caption, HFONT font) const {
    if (caption.empty()) return true;
    RECT client{};
    GetClientRect(control, &client);
    const ScreenDc screen;
    const SelectScope selected(screen.get(), font);
    switch (layout) {
        case CaptionLayout::Button: {
            const LONG inset = 2 * scalePixels(kButtonInsetPixels, dpi_);
            return fitsIn(measured(screen.get(), caption, DT_SINGLELINE, 0), client.right - inset,
                          client.bottom - inset);
        }
        case CaptionLayout::Label:
            return fitsIn(measured(screen.get(), caption, DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX, client.right),
                          client.right, client.bottom);
        case CaptionLayout::PathBox:
            return fitsIn(measured(screen.get(), caption, DT_SINGLELINE | DT_NOPREFIX, 0), client.right, client.bottom);
        case CaptionLayout::StatusBox: {
            // The edit breaks its lines by rules of its own; its own count of
            // them is the one that shows.
            setControlFont(control, layout, font, false);
            TEXTMETRICW metrics{};
            GetTextMetricsW(screen.get(), &metrics);
            const LRESULT lines = SendMessageW(control, EM_GETLINECOUNT, 0, 0);
            return lines * metrics.tmHeight <= client.bottom;
        }
    }
    return true;
}

void setControlFont(HWND control, CaptionLayout layout, HFONT font, bool redraw) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
    if (layout == CaptionLayout::PathBox || layout == CaptionLayout::StatusBox) {
        // A new font brings back the edit's default margins.
        SendMessageW(control, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(0, 0));
        if (redraw) InvalidateRect(control, nullptr, TRUE);
    }
}

}  // namespace car::win32

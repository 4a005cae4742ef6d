// Whether every caption shows whole, read from the screen (another process's
// font cannot be read): the text, told from its ground by the system's
// colours, must be there and keep clear of its control's edges. A caption cut
// by its control reaches an edge, and one drawn in colours other than the
// system's does not stand out from its ground as text: all of it does, or
// none.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "platform/win32/window/window_handles.h"
#include "poll.h"
#include "windows_query.h"

namespace driver {
namespace {

int distance(std::uint32_t pixel, COLORREF colour) {  // DIB pixels are 0xRRGGBB, COLORREFs 0xBBGGRR
    return std::abs(static_cast<int>((pixel >> 16) & 0xFF) - GetRValue(colour)) +
           std::abs(static_cast<int>((pixel >> 8) & 0xFF) - GetGValue(colour)) +
           std::abs(static_cast<int>(pixel & 0xFF) - GetBValue(colour));
}

// How many of the control's last rows a control above it covers (the path
// box's border lies over the last row of the label above it).
LONG coveredBelow(HWND control, const RECT& own) {
    LONG covered = 0;
    for (HWND above = GetWindow(control, GW_HWNDPREV); above != nullptr; above = GetWindow(above, GW_HWNDPREV)) {
        RECT other{};
        RECT overlap{};
        if (IsWindowVisible(above) && GetWindowRect(above, &other) && IntersectRect(&overlap, &own, &other) &&
            overlap.bottom == own.bottom && overlap.left == own.left && overlap.right == own.right) {
            covered = std::max(covered, overlap.bottom - overlap.top);
        }
    }
    return covered;
}

// The pixels that stand out from the ground by a quarter of the way to the
// text colour or more (the faint edges of smoothed letters included) must
// exist and leave clear the column or row next to a button's frame, and a
// label's last column and last visible row.
bool showsWhole(HWND control, const car::ControlLayout& layout, unsigned dpi) {
    RECT client{};
    GetClientRect(control, &client);
    POINT origin{0, 0};
    ClientToScreen(control, &origin);
    RECT own{};
    GetWindowRect(control, &own);
    const bool button = sameClass(control, L"Button");
    const bool white = layout.whiteBackground;
    const COLORREF ground = GetSysColor(white ? COLOR_WINDOW : COLOR_BTNFACE);
    const COLORREF text = GetSysColor(!IsWindowEnabled(control) ? COLOR_GRAYTEXT
                                      : white                   ? COLOR_WINDOWTEXT
                                                                : COLOR_BTNTEXT);
    // A button's frame and focus rectangle take 4 pixels at 96 DPI.
    const LONG frame = button ? MulDiv(4, static_cast<int>(dpi), 96) : 0;
    const LONG end = client.bottom - frame - coveredBelow(control, own);
    const RECT inner{button ? frame + 1 : 0, button ? frame + 1 : 0, client.right - frame - 1, end - 1};

    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const car::win32::ScreenDc screen;
    const car::win32::MemoryDc dc(screen.get());
    const car::win32::UniqueBitmap shot(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bits == nullptr) return false;
    {
        const car::win32::SelectScope selected(dc.get(), shot.get());
        BitBlt(dc.get(), 0, 0, client.right, client.bottom, screen.get(), origin.x, origin.y, SRCCOPY);
    }
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    const int contrast = distance((GetRValue(text) << 16) | (GetGValue(text) << 8) | GetBValue(text), ground);
    bool any = false;
    for (LONG y = frame; y < end; ++y) {
        for (LONG x = frame; x < client.right - frame; ++x) {
            if (4 * distance(pixels[y * client.right + x], ground) < contrast) continue;
            if (x < inner.left || x >= inner.right || y < inner.top || y >= inner.bottom) return false;
            any = true;
        }
    }
    return any;
}

}  // namespace

int checkCaptions(const Target& target, Arguments& args) {
    const std::optional<unsigned> timeout = timeoutAt(args, 0);
    if (!timeout) return badUsage(L"captions");
    std::vector<std::wstring> cut;
    // Polled: the display shows the window's latest painting a moment later.
    const bool whole = pollUntil(
        *timeout,
        [&] {
            cut.clear();
            HWND main = findMainWindow(target);
            if (main == nullptr) return false;
            for (const car::ControlLayout& layout : car::controlLayouts()) {
                bool named = args.count() == 1;
                for (std::size_t i = 1; i < args.count(); ++i) named = named || args.at(i) == layout.name;
                HWND control = controlWindow(main, layout);
                if (!named || control == nullptr || !IsWindowVisible(control) || windowText(control).empty()) continue;
                if (!showsWhole(control, layout, dpiOf(main))) cut.emplace_back(layout.name);
            }
            return cut.empty();
        },
        100);
    for (const std::wstring& name : cut) printLine(name + L"\tnot whole");
    return whole ? kSucceeded : failed(L"a caption does not show whole");
}

}  // namespace driver

#include "platform/win32/window/window_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/win32/window/window_class.h"
#include "platform/win32/window/window_handles.h"

namespace car::win32 {
namespace {

HBITMAP bitmapOf(HWND picture) { return reinterpret_cast<HBITMAP>(GetWindowLongPtrW(picture, GWLP_USERDATA)); }

void paintPicture(HWND picture) {
    const PaintScope paint(picture);
    RECT client{};
    GetClientRect(picture, &client);
    const HBITMAP bitmap = bitmapOf(picture);
    BITMAP info{};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof info, &info) == 0) {
        FillRect(paint.dc(), &client, GetSysColorBrush(COLOR_WINDOW));
        return;
    }
    const MemoryDc source(paint.dc());
    const SelectScope selected(source.get(), bitmap);
    // Halftone averages the source pixels, so a large picture shown small
    // keeps its shapes instead of losing every other row and column.
    SetStretchBltMode(paint.dc(), HALFTONE);
    SetBrushOrgEx(paint.dc(), 0, 0, nullptr);
    StretchBlt(paint.dc(), 0, 0, client.right, client.bottom, source.get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
}

LRESULT CALLBACK pictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_ERASEBKGND:
            return 1;  // the bitmap covers the whole window
        case WM_PAINT:
            paintPicture(window);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK lineProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: {
            // The window's region is the stroke, so filling the whole client
            // area paints exactly the stroke.
            RECT client{};
            GetClientRect(window, &client);
            const HDC dc = reinterpret_cast<HDC>(wParam);
            SetDCBrushColor(dc, kLineColour);
            FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
            return 1;
        }
        case WM_PAINT: {
            const PaintScope paint(window);  // the erase did the drawing
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The region a pen of the width covers along the segment, as GDI would draw it.
HRGN strokeRegion(POINT from, POINT to, int penWidth) {
    const ScreenDc screen;
    const MemoryDc dc(screen.get());
    const UniqueHandleOf<HPEN, GdiObjectDeleter> pen(CreatePen(PS_SOLID, penWidth, kLineColour));
    if (dc.get() == nullptr || pen == nullptr) return nullptr;
    const SelectScope selected(dc.get(), pen.get());
    BeginPath(dc.get());
    MoveToEx(dc.get(), from.x, from.y, nullptr);
    LineTo(dc.get(), to.x, to.y);
    EndPath(dc.get());
    if (!WidenPath(dc.get())) return nullptr;
    return PathToRegion(dc.get());
}

// A plain quadrilateral along the segment, for a system whose paths fail.
HRGN quadrilateralRegion(POINT from, POINT to, int penWidth) {
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double length = std::max(1.0, std::hypot(dx, dy));
    const double half = penWidth / 2.0;
    const auto nx = static_cast<LONG>(std::lround(-dy / length * half));
    const auto ny = static_cast<LONG>(std::lround(dx / length * half));
    const POINT corners[4] = {
        {from.x + nx, from.y + ny}, {to.x + nx, to.y + ny}, {to.x - nx, to.y - ny}, {from.x - nx, from.y - ny}};
    return CreatePolygonRgn(corners, 4, WINDING);
}

}  // namespace

void registerPictureClasses(HINSTANCE instance) {
    registerWindowClass(instance, {kPictureClassName, pictureProc});
    registerWindowClass(instance, {kLineClassName, lineProc});
}

UniqueBitmap loadPicture(HINSTANCE instance, int resource, COLORREF ground) {
    constexpr int kBitmapType = 2;  // RT_BITMAP, without its C cast
    const HRSRC found = FindResourceW(instance, resourceName(resource), resourceName(kBitmapType));
    const HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    const auto* stored = static_cast<const BITMAPINFO*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (stored == nullptr || SizeofResource(instance, found) < sizeof(BITMAPINFOHEADER) ||
        stored->bmiHeader.biSize != sizeof(BITMAPINFOHEADER) || stored->bmiHeader.biBitCount != 8 ||
        stored->bmiHeader.biClrUsed > 256) {
        return nullptr;
    }
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    const DWORD colours = stored->bmiHeader.biClrUsed != 0 ? stored->bmiHeader.biClrUsed : 256;
    const std::size_t tables = sizeof info.header + colours * sizeof(RGBQUAD);
    if (SizeofResource(instance, found) < tables + stored->bmiHeader.biSizeImage) return nullptr;
    std::memcpy(&info, stored, tables);
    info.colours[0] = RGBQUAD{GetBValue(ground), GetGValue(ground), GetRValue(ground), 0};
    const auto* bits = reinterpret_cast<const unsigned char*>(stored) + tables;
    const ScreenDc screen;
    return UniqueBitmap(CreateDIBitmap(screen.get(), &info.header, CBM_INIT, bits,
                                       reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS));
}

void showPicture(HWND picture, HBITMAP bitmap) {
    SetWindowLongPtrW(picture, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bitmap));
    InvalidateRect(picture, nullptr, FALSE);
}

void shapeLine(HWND line, POINT from, POINT to, int penWidth) {
    const LONG pad = penWidth + 1;
    const RECT bounds{std::min(from.x, to.x) - pad, std::min(from.y, to.y) - pad, std::max(from.x, to.x) + pad + 1,
                      std::max(from.y, to.y) + pad + 1};
    MoveWindow(line, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, FALSE);
    const POINT start{from.x - bounds.left, from.y - bounds.top};
    const POINT end{to.x - bounds.left, to.y - bounds.top};
    UniqueRegion region(strokeRegion(start, end, penWidth));
    if (region == nullptr) region.reset(quadrilateralRegion(start, end, penWidth));
    // The window owns the region once it has taken it.
    if (SetWindowRgn(line, region.get(), TRUE) != 0) static_cast<void>(region.release());
}

}  // namespace car::win32

#include "platform/win32/window/window_dpi.h"

#include <cstdint>

#include "platform/win32/window/window_handles.h"

namespace car::win32 {
namespace {

// The address of a user32 function, or null on a system that lacks it.
template <class Function>
Function user32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) return nullptr;
    // The detour through a plain function pointer is the documented way to
    // convert GetProcAddress' result without a cast-function-type warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);

DPI_AWARENESS_CONTEXT awarenessContext(std::intptr_t value) { return reinterpret_cast<DPI_AWARENESS_CONTEXT>(value); }

}  // namespace

UINT systemDpi() {
    const ScreenDc screen;
    const int dpi = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

UINT dpiForWindow(HWND window) {
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return dpi;
    }
    return systemDpi();
}

int systemMetricForDpi(int index, UINT dpi) {
    static const auto getSystemMetricsForDpi = user32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (getSystemMetricsForDpi != nullptr) return getSystemMetricsForDpi(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(systemDpi()));
}

SIZE windowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjustForDpi = user32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT rect{0, 0, client.cx, client.cy};
    if (adjustForDpi == nullptr || !adjustForDpi(&rect, style, FALSE, exStyle, dpi)) {
        rect = RECT{0, 0, client.cx, client.cy};
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void ensureDpiAwareness() {
    if (IsProcessDPIAware()) return;  // the manifest's setting took effect
    static const auto setContext = user32Function<SetProcessDpiAwarenessContextFn>("SetProcessDpiAwarenessContext");
    if (setContext != nullptr) {
        constexpr std::intptr_t kPerMonitorAwareV2 = -4;
        constexpr std::intptr_t kPerMonitorAware = -3;
        if (setContext(awarenessContext(kPerMonitorAwareV2)) || setContext(awarenessContext(kPerMonitorAware))) {
            return;
        }
    }
    SetProcessDPIAware();
}

}  // namespace car::win32

#include "windows_query.h"

#include <array>

#include "platform/win32/window/window_handles.h"

namespace driver {
namespace {

struct Search {
    const std::function<bool(HWND)>* match;
    HWND found;
};

BOOL CALLBACK visitTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    if (!(*search->match)(window)) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK visitChild(HWND window, LPARAM context) {
    (*reinterpret_cast<const std::function<void(HWND)>*>(context))(window);
    return TRUE;
}

}  // namespace

std::wstring windowText(HWND window) {
    std::wstring text(512, L'\0');
    for (;;) {
        const int capacity = static_cast<int>(text.size());
        const int length = GetWindowTextW(window, text.data(), capacity);
        // A text that fills the buffer may have been cut: read it again larger.
        if (length < capacity - 1 || capacity >= (1 << 20)) {
            text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

std::wstring className(HWND window) {
    std::array<wchar_t, 256> name{};
    const int length = GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    return std::wstring(name.data(), static_cast<std::size_t>(length > 0 ? length : 0));
}

bool sameClass(HWND window, std::wstring_view name) {
    const std::wstring actual = className(window);
    return CompareStringOrdinal(actual.data(), static_cast<int>(actual.size()), name.data(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

DWORD processOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

HWND findTopLevel(const std::function<bool(HWND)>& match) {
    Search search{&match, nullptr};
    EnumWindows(visitTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void forEachChild(HWND parent, const std::function<void(HWND)>& visit) {
    EnumChildWindows(parent, visitChild, reinterpret_cast<LPARAM>(&visit));
}

HWND findChildById(HWND parent, int id) {
    if (HWND child = GetDlgItem(parent, id)) return child;
    HWND found = nullptr;
    forEachChild(parent, [&](HWND child) {
        // Dialog templates store ids as 16 bits; compare the low word the same way.
        const auto childId = static_cast<unsigned>(GetWindowLongPtrW(child, GWLP_ID));
        if (found == nullptr && (childId & 0xFFFFU) == (static_cast<unsigned>(id) & 0xFFFFU)) found = child;
    });
    return found;
}

RECT rectWithin(HWND parent, HWND window) {
    RECT screen{};
    GetWindowRect(window, &screen);
    POINT topLeft{screen.left, screen.top};
    POINT bottomRight{screen.right, screen.bottom};
    ScreenToClient(parent, &topLeft);
    ScreenToClient(parent, &bottomRight);
    return RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

unsigned dpiOf(HWND window) {
    // GetDpiForWindow is newer than the oldest system the driver may meet:
    // look it up instead of importing it.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    if (HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
        if (FARPROC proc = GetProcAddress(user32, "GetDpiForWindow")) {
            auto getDpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void (*)()>(proc));
            if (const UINT dpi = getDpi(window)) return dpi;
        }
    }
    const car::win32::ScreenDc screen;
    return screen.get() != nullptr ? static_cast<unsigned>(GetDeviceCaps(screen.get(), LOGPIXELSX)) : 96U;
}

}  // namespace driver

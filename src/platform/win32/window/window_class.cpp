#include "platform/win32/window/window_class.h"

#include "platform/win32/error_text.h"
#include "platform/win32/window/window_handles.h"

namespace car::win32 {

void registerWindowClass(HINSTANCE instance, const WindowClass& windowClass) {
    WNDCLASSEXW registered{};
    registered.cbSize = sizeof registered;
    if (GetClassInfoExW(instance, windowClass.name, &registered)) return;
    registered = WNDCLASSEXW{};
    registered.cbSize = sizeof registered;
    registered.lpfnWndProc = windowClass.procedure;
    registered.hInstance = instance;
    registered.hIcon = windowClass.icon;
    registered.hIconSm = windowClass.smallIcon;
    registered.hCursor = LoadCursorW(nullptr, resourceName(32512));  // IDC_ARROW
    registered.hbrBackground = windowClass.background;
    registered.lpszClassName = windowClass.name;
    if (RegisterClassExW(&registered) == 0) throwLastError(L"The window class could not be registered.");
}

}  // namespace car::win32

// The module's own window classes: the frame and the two kinds of child
// window the common controls have no match for.
#pragma once

#include <windows.h>

namespace car::win32 {

struct WindowClass {
    const wchar_t* name;
    WNDPROC procedure;
    HICON icon = nullptr;
    HBRUSH background = nullptr;
    HICON smallIcon = nullptr;
};

// Registers the class with the arrow cursor, unless the module has it
// already (a second window of the same class). Throws the system's failure.
void registerWindowClass(HINSTANCE instance, const WindowClass& windowClass);

}  // namespace car::win32

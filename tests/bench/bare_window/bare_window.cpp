// The least a Win32 window program does: register a class, create a window,
// show it and handle messages. Built exactly as the program is, it is the
// yardstick for the program's cold start. It takes the program's class name
// so that the driver finds it the same way.
#include <windows.h>

#include "bare_program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const wchar_t* const className = L"frmCompactAndRepair";
    if (!bare::registerClass(instance, className, bare::frameProc, COLOR_BTNFACE)) return 1;
    HWND window = CreateWindowExW(0, className, L"Bare window", WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT,
                                  501, 282, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    return bare::showAndRun(window);
}

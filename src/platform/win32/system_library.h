// Functions of system libraries that the program needs only after its window
// is shown, found at their first call instead of at start-up, so that a cold
// start does not load them: the shell (a start with arguments), the
// automation types (WMI and the JET engine) and the Restart Manager (a wait
// for the database). Header-only: the bench's COM server uses it too.
#pragma once

#include <windows.h>

#include <string>

namespace car::win32 {

// The function `name` of `library`, loaded from the system folder (never a
// file of that name beside the program) and kept for the process's life;
// null when the system has none.
inline FARPROC systemProcedure(const wchar_t* library, const char* name) noexcept {
    HMODULE module = ::GetModuleHandleW(library);
    if (module == nullptr) {
        wchar_t folder[MAX_PATH];
        const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return nullptr;
        module = ::LoadLibraryExW((std::wstring(folder, length) + L"\\" + library).c_str(), nullptr, 0);
    }
    return module != nullptr ? ::GetProcAddress(module, name) : nullptr;
}

// The same, as the function's own type (`decltype(::SysFreeString)`, say).
template <class Function>
Function* systemFunction(const wchar_t* library, const char* name) noexcept {
    // Through the one function-pointer type that converts to any other.
    return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(systemProcedure(library, name)));
}

}  // namespace car::win32

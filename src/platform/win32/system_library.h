// System libraries that the program does not import, loaded from the system
// folder at their first call: those that Windows does not always take from
// there (the network parameters, the Restart Manager), and those the window
// does not need before it is shown, so that a cold start does not load them
// (the shell, for a start with arguments; the automation types, for WMI and
// the JET engine). Header-only: the bench's COM server uses it too.
#pragma once

#include <windows.h>

#include <string>

namespace car::win32 {

// Takes the program's own folder and the current folder out of every later
// search for a library by name, for the whole process. The program runs
// elevated, as SYSTEM when scheduled, from a folder that ordinary users may
// be able to write; system libraries load others by bare name (the theme
// library, the version library...), and that search looks in the program's
// folder first. COM still loads in-process servers (the JET engine, WMI's
// providers) by their registered full paths, so those are unaffected. Called
// first thing at start-up, before anything loads a library by name. A
// Windows 7 without update KB2533623 lacks SetDefaultDllDirectories; there an
// empty DLL directory takes at least the current folder out of the search.
inline void restrictLibrarySearch() noexcept {
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");  // imported: always the system's
    const FARPROC procedure = kernel != nullptr ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    // Through the one function-pointer type that converts to any other.
    const auto setDefault =
        reinterpret_cast<decltype(::SetDefaultDllDirectories)*>(reinterpret_cast<void (*)()>(procedure));
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryW(L"");
}

// The system folder's copy of `library`, its own dependencies taken from the
// system folder too, kept for the process's life; null when the system has
// none. Always by full path: a bare name (to GetModuleHandle or to
// LoadLibraryEx alike) is answered by any module of that name already loaded,
// from wherever it came.
inline HMODULE loadSystemLibrary(const wchar_t* library) noexcept {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + library;
    const HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A Windows 7 without update KB2533623 refuses the flag; there the
    // library's own dependencies are searched as any load's are.
    if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
        return ::LoadLibraryExW(path.c_str(), nullptr, 0);
    return module;
}

// The function `name` of the system folder's `library`; null when the
// system has none.
inline FARPROC systemProcedure(const wchar_t* library, const char* name) noexcept {
    const HMODULE module = loadSystemLibrary(library);
    return module != nullptr ? ::GetProcAddress(module, name) : nullptr;
}

// The same, as the function's own type (`decltype(::SysFreeString)`, say).
template <class Function>
Function* systemFunction(const wchar_t* library, const char* name) noexcept {
    // Through the one function-pointer type that converts to any other.
    return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(systemProcedure(library, name)));
}

}  // namespace car::win32

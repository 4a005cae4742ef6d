// Where the system's own tools live, so that they are started by full path
// and never found by a search that looks in the program's folder first.
#include "platform/win32/error_text.h"
#include "platform/win32/system/win32_platform.h"

namespace car {

namespace {

using FolderQuery = UINT(WINAPI*)(LPWSTR, UINT);

std::wstring queryFolder(FolderQuery query) {
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const UINT length = query(folder.data(), static_cast<UINT>(folder.size()));
        if (length == 0) throw win32::win32Error(::GetLastError());
        // Too small a buffer gets the size needed, its NUL included.
        const bool fitted = length < folder.size();
        folder.resize(length);
        if (fitted) break;
    }
    // Callers append "\name"; a folder at a drive's root would otherwise
    // give a doubled backslash.
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

bool isWow64Process() {
    BOOL wow64 = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &wow64)) throw win32::win32Error(::GetLastError());
    return wow64 != FALSE;
}

}  // namespace

SystemFolders Win32Platform::systemFolders() {
    SystemFolders folders;
    // The shared Windows folder: on a terminal server GetWindowsDirectoryW
    // hands a program not marked as aware of it a private one per user.
    folders.windows = queryFolder(::GetSystemWindowsDirectoryW);
    folders.system = queryFolder(::GetSystemDirectoryW);
    // A 32-bit process on 64-bit Windows sees SysWOW64 as its system folder;
    // the real one is reached through the virtual "Sysnative", which only
    // such a process sees (and which systems before Vista lack).
    const std::wstring sysnative = folders.windows + L"\\Sysnative";
    folders.nativeSystem = isWow64Process() && pathInfo(sysnative).isFolder ? sysnative : folders.system;
    return folders;
}

}  // namespace car

#include "platform/win32/system/privilege.h"

#include <windows.h>

#include "platform/win32/handle.h"

namespace car::win32 {

namespace {

bool tryEnablePrivilege(const wchar_t* name) noexcept {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return false;
    const UniqueHandle token(raw);
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return false;
    // Succeeds even when the token lacks the privilege, leaving
    // ERROR_NOT_ALL_ASSIGNED behind: only the last error tells.
    if (!::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr)) return false;
    return ::GetLastError() == ERROR_SUCCESS;
}

}  // namespace

// The token is the process's: once enabled a privilege stays so for every
// later call.
bool enableDebugPrivilege() {
    static const bool enabled = tryEnablePrivilege(SE_DEBUG_NAME);
    return enabled;
}

bool enableRestorePrivilege() {
    static const bool enabled = tryEnablePrivilege(SE_RESTORE_NAME);
    return enabled;
}

}  // namespace car::win32

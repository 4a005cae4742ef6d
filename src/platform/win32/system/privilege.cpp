// Privileges enabled only around the calls that need them. An elevated
// administrator holds the debug and restore privileges disabled; a privilege
// left enabled would go on to every program the run starts, and to every
// call that did not ask for it.
#include <windows.h>

#include <memory>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/win32_platform.h"

namespace car {
namespace {

class EnabledPrivilege final : public Held {
public:
    EnabledPrivilege(win32::UniqueHandle token, const TOKEN_PRIVILEGES& previous)
        : token_(std::move(token)), previous_(previous) {}
    EnabledPrivilege(const EnabledPrivilege&) = delete;
    EnabledPrivilege& operator=(const EnabledPrivilege&) = delete;
    // Put back as it was: a privilege that was enabled already stays so.
    ~EnabledPrivilege() override { ::AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr); }

private:
    win32::UniqueHandle token_;
    TOKEN_PRIVILEGES previous_;
};

// What a token without the privilege gets: the call that needs it reports
// its own refusal.
class NothingEnabled final : public Held {};

const wchar_t* nameOf(Privilege privilege) {
    switch (privilege) {
        case Privilege::Debug:
            return SE_DEBUG_NAME;
        case Privilege::Restore:
            return SE_RESTORE_NAME;
    }
    return SE_DEBUG_NAME;
}

}  // namespace

std::unique_ptr<Held> Win32Platform::enablePrivilege(Privilege privilege) {
    const wchar_t* name = nameOf(privilege);
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw))
        win32::throwLastErrorAbout(name);
    win32::UniqueHandle token(raw);
    TOKEN_PRIVILEGES enabled{};
    enabled.PrivilegeCount = 1;
    enabled.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, name, &enabled.Privileges[0].Luid)) win32::throwLastErrorAbout(name);
    // The state before, of this privilege alone: none when nothing changed.
    TOKEN_PRIVILEGES previous{};
    DWORD size = 0;
    if (!::AdjustTokenPrivileges(token.get(), FALSE, &enabled, sizeof previous, &previous, &size))
        win32::throwLastErrorAbout(name);
    // Succeeds even when the token lacks the privilege, leaving
    // ERROR_NOT_ALL_ASSIGNED behind: only the last error tells.
    if (::GetLastError() == ERROR_NOT_ALL_ASSIGNED || previous.PrivilegeCount == 0)
        return std::make_unique<NothingEnabled>();
    return std::make_unique<EnabledPrivilege>(std::move(token), previous);
}

}  // namespace car

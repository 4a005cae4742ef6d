// The privileges the program turns on for itself.
#pragma once

namespace car::win32 {

// Enables SeDebugPrivilege in the process's token, which ending a process of
// another account (a service running as LocalSystem) needs; an elevated
// administrator holds it, but disabled. Tried once per process; true when it
// is enabled. An account that lacks it is no error: the call that needs it
// reports its own refusal.
bool enableDebugPrivilege();

// Enables SeRestorePrivilege, without which even an administrator may give
// a file no owner but himself or the administrators group. Tried once per
// process, as the debug privilege is.
bool enableRestorePrivilege();

}  // namespace car::win32

// The one privilege the program turns on for itself.
#pragma once

namespace car::win32 {

// Enables SeDebugPrivilege in the process's token, which ending a process of
// another account (a service running as LocalSystem) needs; an elevated
// administrator holds it, but disabled. Tried once per process; true when it
// is enabled. An account that lacks it is no error: the call that needs it
// reports its own refusal.
bool enableDebugPrivilege();

}  // namespace car::win32

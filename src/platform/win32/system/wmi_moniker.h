// The one form of "winmgmts:" moniker the program uses, taken apart.
#pragma once

#include <string>

namespace car::win32 {

// The namespace that "winmgmts:{impersonationLevel=impersonate}!\\.\root\cimv2"
// names ("root\cimv2"); the security part and the local machine are optional.
// Throws an Error for another machine, other settings or another form.
std::wstring wmiNamespaceOf(const std::wstring& moniker);

}  // namespace car::win32

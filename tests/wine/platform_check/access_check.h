// platform_check's commands for who may do what: grants through holds,
// listings through a folder's handle, accounts, privileges, the trusted
// folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/system/win32_platform.h"

namespace check {

// Whether the process's token has the privilege (SE_DEBUG_NAME...) enabled.
bool privilegeEnabled(const wchar_t* name);

// The command's exit code; nothing when the command is not one of these.
std::optional<int> runAccessCommand(car::Win32Platform& platform, const std::vector<std::wstring>& args);

}  // namespace check

// Accounts as this machine names them, from their SIDs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/platform.h"

namespace car::win32 {

// "S-1-5-32-544"; empty when it cannot be written.
std::wstring sidText(PSID sid);

// The account of a SID, "DOMAIN\name" (the name alone where the system gives
// no domain, as for "Everyone"); nothing when the SID has no account here.
// Other failures throw.
std::optional<Account> accountOf(PSID sid);

}  // namespace car::win32

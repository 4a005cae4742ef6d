// The accounts whose files and objects a run may take for its own or for an
// administrator's: LocalSystem, the administrators group, and the account
// this program runs as with its default owner (what its own objects get: the
// administrators group for an elevated administrator; where the system has
// no such rule, the account or its group).
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace car::win32 {

class TrustedAccounts {
public:
    // Reads this process's token; an account it cannot read is not trusted.
    TrustedAccounts();
    bool trust(PSID account) const;

private:
    std::vector<std::uint64_t> user_;          // a TOKEN_USER, aligned
    std::vector<std::uint64_t> defaultOwner_;  // a TOKEN_OWNER, aligned
};

}  // namespace car::win32

// The accounts whose files and objects a run may take for its own or for an
// administrator's: LocalSystem, the administrators group, and the account
// this program runs as with its default owner (what its own objects get: the
// administrators group for an elevated administrator; where the system has
// no such rule, the account or its group); and who an access list lets
// write.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace car::win32 {

class TrustedAccounts {
public:
    // Reads this process's token; an account it cannot read is not trusted.
    TrustedAccounts();
    bool trust(PSID account) const;
    // The accounts an entry of the list lets write, change who may, or
    // delete; for a folder's list (`folder`), also add or delete what is
    // inside, or have any of that on what is made inside. SIDs as text, an
    // empty one for an entry whose account is placed where it cannot be read.
    static std::vector<std::wstring> writers(PACL list, bool folder);
    // This process's account and its default owner, as SIDs in text.
    std::vector<std::wstring> own() const;

private:
    std::vector<std::uint64_t> user_;          // a TOKEN_USER, aligned
    std::vector<std::uint64_t> defaultOwner_;  // a TOKEN_OWNER, aligned
};

}  // namespace car::win32

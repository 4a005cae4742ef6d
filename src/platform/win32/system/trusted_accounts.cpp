#include "platform/win32/system/trusted_accounts.h"

#include "platform/win32/handle.h"
#include "platform/win32/system/accounts.h"

namespace car::win32 {
namespace {

// The rights that let an account change a file or who may: to write or
// append, to change its access list or owner, to delete it (and so put
// another file under its name), and what grants all of those.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER | DELETE |
                                     GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
// On a folder, to make a file or a folder in it, or to delete what is in it.
constexpr ACCESS_MASK kFolderWriteRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD;

std::vector<std::uint64_t> tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    ::GetTokenInformation(token, kind, nullptr, 0, &size);
    std::vector<std::uint64_t> information((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    if (size == 0 || !::GetTokenInformation(token, kind, information.data(), size, &size)) information.clear();
    return information;
}

}  // namespace

TrustedAccounts::TrustedAccounts() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return;
    const UniqueHandle token(raw);
    user_ = tokenInformation(token.get(), TokenUser);
    defaultOwner_ = tokenInformation(token.get(), TokenOwner);
}

bool TrustedAccounts::trust(PSID account) const {
    if (account == nullptr) return false;
    if (::IsWellKnownSid(account, WinLocalSystemSid) || ::IsWellKnownSid(account, WinBuiltinAdministratorsSid))
        return true;
    return (!user_.empty() && ::EqualSid(account, reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid)) ||
           (!defaultOwner_.empty() &&
            ::EqualSid(account, reinterpret_cast<const TOKEN_OWNER*>(defaultOwner_.data())->Owner));
}

std::vector<std::wstring> TrustedAccounts::writers(PACL list, bool folder) {
    ACL_SIZE_INFORMATION size{};
    if (!::GetAclInformation(list, &size, sizeof size, AclSizeInformation)) return {L""};
    const ACCESS_MASK writing = kWriteRights | (folder ? kFolderWriteRights : 0);
    std::vector<std::wstring> found;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(list, i, &entry)) return {L""};
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        // An entry only for what is made inside grants nothing on a file; on
        // a folder it grants it on everything made there.
        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0 && !folder) continue;
        const BYTE type = header->AceType;
        if (type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_ALLOWED_CALLBACK_ACE_TYPE &&
            type != ACCESS_ALLOWED_OBJECT_ACE_TYPE && type != ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE) {
            continue;
        }
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);  // the mask's place is the same in each
        if ((allowed->Mask & writing) == 0) continue;
        // The object entries, unknown on files, place their account elsewhere.
        const bool plain = type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
        found.push_back(plain ? sidText(&allowed->SidStart) : std::wstring());
    }
    return found;
}

std::vector<std::wstring> TrustedAccounts::own() const {
    std::vector<std::wstring> accounts;
    if (!user_.empty()) accounts.push_back(sidText(reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid));
    if (!defaultOwner_.empty())
        accounts.push_back(sidText(reinterpret_cast<const TOKEN_OWNER*>(defaultOwner_.data())->Owner));
    return accounts;
}

}  // namespace car::win32

#include "platform/win32/system/trusted_accounts.h"

#include "platform/win32/handle.h"

namespace car::win32 {
namespace {

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

}  // namespace car::win32

// Accounts by SID and by name, looked up on this machine (and, for a name
// it does not know itself, its domain). Names are in this Windows' language:
// the logic asks for groups by SID and shows the name the system gives.
#include "platform/win32/system/accounts.h"

#include <sddl.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/win32_platform.h"

namespace car {
namespace win32 {

std::wstring sidText(PSID sid) {
    LPWSTR text = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return {};
    const std::unique_ptr<wchar_t, LocalFreeDeleter> owned(text);
    return text;
}

std::optional<Account> accountOf(PSID sid) {
    std::wstring name(64, L'\0'), domain(64, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto nameLength = static_cast<DWORD>(name.size());
        auto domainLength = static_cast<DWORD>(domain.size());
        SID_NAME_USE use{};
        if (::LookupAccountSidW(nullptr, sid, name.data(), &nameLength, domain.data(), &domainLength, &use)) {
            name.resize(nameLength);
            domain.resize(domainLength);
            return Account{domain.empty() ? name : domain + L"\\" + name, sidText(sid)};
        }
        const DWORD code = ::GetLastError();
        if (code == ERROR_NONE_MAPPED) return std::nullopt;
        if (code != ERROR_INSUFFICIENT_BUFFER) throwLastErrorAbout(sidText(sid));
        // The lengths it needs, terminators included.
        name.resize(std::max<std::size_t>(nameLength, name.size()));
        domain.resize(std::max<std::size_t>(domainLength, domain.size()));
    }
    throwLastErrorAbout(sidText(sid));
}

}  // namespace win32

std::optional<Account> Win32Platform::accountBySid(const std::wstring& sid) {
    PSID binary = nullptr;
    if (!::ConvertStringSidToSidW(sid.c_str(), &binary)) {
        // Text that is no SID names no account.
        if (::GetLastError() == ERROR_INVALID_SID || ::GetLastError() == ERROR_INVALID_PARAMETER) return std::nullopt;
        win32::throwLastErrorAbout(sid);
    }
    const std::unique_ptr<void, win32::LocalFreeDeleter> owned(binary);
    return win32::accountOf(binary);
}

// Looked up by name, then named as the system names its SID, so that the
// answer is spelt alike however the name was asked for.
std::optional<Account> Win32Platform::accountByName(const std::wstring& name) {
    std::vector<std::uint64_t> sid(SECURITY_MAX_SID_SIZE / sizeof(std::uint64_t) + 1);  // aligned
    std::wstring domain(64, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto sidSize = static_cast<DWORD>(sid.size() * sizeof(std::uint64_t));
        auto domainLength = static_cast<DWORD>(domain.size());
        SID_NAME_USE use{};
        if (::LookupAccountNameW(nullptr, name.c_str(), sid.data(), &sidSize, domain.data(), &domainLength, &use)) {
            domain.resize(domainLength);
            if (std::optional<Account> account = win32::accountOf(sid.data())) return account;
            return Account{domain.empty() ? name : domain + L"\\" + name, win32::sidText(sid.data())};
        }
        const DWORD code = ::GetLastError();
        if (code == ERROR_NONE_MAPPED) return std::nullopt;
        if (code != ERROR_INSUFFICIENT_BUFFER) win32::throwLastErrorAbout(name);
        sid.resize(std::max<std::size_t>(sidSize / sizeof(std::uint64_t) + 1, sid.size()));
        domain.resize(std::max<std::size_t>(domainLength, domain.size()));
    }
    win32::throwLastErrorAbout(name);
}

}  // namespace car

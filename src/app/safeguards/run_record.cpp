#include "app/safeguards/run_record.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace car {
namespace {

constexpr wchar_t kSystem[] = L"S-1-5-18";
constexpr wchar_t kAdministrators[] = L"S-1-5-32-544";

// "BUILTIN\Users (S-1-5-32-545)", as far as this machine can name it.
std::wstring AccountWords(Platform& platform, const std::wstring& sid) {
    if (sid.empty()) return L"an account it does not name";
    try {
        if (const std::optional<Account> account = platform.accountBySid(sid))
            return account->name + L" (" + sid + L")";
    } catch (const Error&) {
    }
    return L"the account " + sid;
}

}  // namespace

// Any user may make folders in %ProgramData%: one found there under this
// name is trusted only when SYSTEM, the administrators or this program's own
// account owns it and nobody else may write in it.
std::wstring RunRecord::Open() {
    if (folder_.hold || !problem_.empty()) return {};
    try {
        folder_ = platform_.holdTrustedFolder();
        std::vector<std::wstring> trusted = folder_.ownAccounts;
        trusted.insert(trusted.end(), {kSystem, kAdministrators});
        const auto isTrusted = [&](const std::wstring& sid) {
            return std::find(trusted.begin(), trusted.end(), sid) != trusted.end();
        };
        if (!isTrusted(folder_.owner)) {
            throw Error{kAccessDeniedHr, folder_.path + L" belongs to " + AccountWords(platform_, folder_.owner) +
                                             L", not to SYSTEM or the administrators"};
        }
        for (const std::wstring& writer : folder_.writers) {
            if (!isTrusted(writer)) {
                throw Error{kAccessDeniedHr, L"the access list of " + folder_.path + L" lets " +
                                                 AccountWords(platform_, writer) + L" write in it"};
            }
        }
        return {};
    } catch (const Error& error) {
        folder_ = {};
        problem_ =
            L"The record of each run, from which the next start finds a run that was interrupted, cannot be "
            L"kept (" +
            errorSummary(error) +
            L"). Runs go on without it, so a run that is cut short (killed, a crash, a forced restart) will "
            L"not be found when the program starts next.";
        return problem_;
    }
}

std::wstring RunRecord::PathFor(const std::wstring& dbPath) const {
    return folder_.hold ? folder_.path + L"\\" + FileName(dbPath) : std::wstring();
}

std::wstring RunRecord::FileName(const std::wstring& dbPath) {
    std::wstring name = lowerCase(dbPath);
    for (wchar_t& c : name) {
        if (c == L'\\' || c == L'/' || c == L':') c = L'_';
    }
    return name + L".log";
}

}  // namespace car

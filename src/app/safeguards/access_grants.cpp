#include "app/safeguards/access_grants.h"

#include <optional>
#include <string>

#include "app/path_only.h"
#include "app/safeguards/reparse_words.h"
#include "app/safeguards/tree_grant.h"

namespace car {
namespace {

bool IsDriveOrShareRoot(const std::wstring& folder) {
    if (folder.size() == 2 && folder[1] == L':') return true;  // "C:" is the drive's current folder, not its root
    if (!folder.starts_with(L"\\\\")) return false;
    // "\\server\share", or "\\?\C:" and the like
    const std::size_t server = folder.find(L'\\', 2);
    return server == std::wstring::npos || folder.find(L'\\', server + 1) == std::wstring::npos;
}

std::wstring NoAccountLine(const std::wstring& name, const std::wstring& target) {
    return L"Grant: no account \"" + name + L"\" on this machine; nothing granted on \"" + target + L"\"";
}

}  // namespace

std::wstring AccessGrants::DataFolder(const std::wstring& dbPath) {
    const std::wstring pathOnly = PathOnly(dbPath);
    std::wstring folder;
    for (std::size_t i = 0; i < pathOnly.size(); ++i) {
        const bool doubled = pathOnly[i] == L'\\' && !folder.empty() && folder.back() == L'\\' && i > 1;
        if (!doubled) folder += pathOnly[i];
    }
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder.empty() || IsDriveOrShareRoot(folder) ? std::wstring() : folder;
}

void AccessGrants::Begin() {
    ownDatabase_.reset();
    ownFolder_.reset();
    folderPath_.clear();
    folderGrants_.clear();
    warning_.clear();
    accounts_.ReadWebServerVersion();
}

// Outside a run nothing is held yet: the grants hold what they change
// themselves, and only what is no link and has no other name.
GrantablePath* AccessGrants::Target(const std::wstring& target, bool asfile) {
    GrantablePath* held = asfile ? guard_.database() : guard_.folder();
    if (held == nullptr) {
        std::unique_ptr<GrantablePath>& own = asfile ? ownDatabase_ : ownFolder_;
        if (!own) {
            own = asfile ? std::unique_ptr<GrantablePath>(platform_.holdFile(target)) : platform_.holdFolder(target);
        }
        held = own.get();
    }
    if (held->isReparsePoint()) {
        throw Error{kAccessDeniedHr, L"it is " + ReparseWords(held->reparseKind()) +
                                         L", which the grants do not follow (nor the root of a volume)"};
    }
    if (asfile && held->nameCount() > 1) {
        throw Error{kAccessDeniedHr, SecondNameWords(held->nameCount())};
    }
    return held;
}

std::wstring AccessGrants::Line(const std::wstring& target, const Account& account) {
    return L"Grant: full control of \"" + target + L"\" to " + account.name + L" (" + account.sid + L")";
}

void AccessGrants::Grant(const std::wstring& target, const std::wstring& name, bool asfile) {
    FolderGrant grant{name, std::nullopt, {}};
    try {
        grant.account = accounts_.Resolve(name);
        if (grant.account) Target(target, asfile)->grantFullControl({grant.account->sid}, !asfile);
    } catch (const Error& error) {
        grant.failure = GrantErrorWords(error);
    }
    if (!asfile) {
        // Said once the tree below it has been walked too.
        folderPath_ = target;
        folderGrants_.push_back(std::move(grant));
        return;
    }
    if (!grant.account) {
        log_.write(NoAccountLine(name, target) + (grant.failure.empty() ? L"" : L" (" + grant.failure + L")"));
    } else {
        log_.write(Line(target, *grant.account) + L": " + (grant.failure.empty() ? L"done" : grant.failure));
    }
}

void AccessGrants::Finish() {
    std::vector<std::wstring> sids;
    for (const FolderGrant& grant : folderGrants_) {
        if (grant.account) sids.push_back(grant.account->sid);
    }
    TreeGrant::Outcome below;
    std::wstring belowFailure;
    if (!sids.empty()) {
        try {
            below = TreeGrant(platform_, log_).Below(*Target(folderPath_, false), folderPath_, sids);
        } catch (const Error& error) {
            belowFailure = GrantErrorWords(error);
        }
    }
    for (const FolderGrant& grant : folderGrants_) {
        if (!grant.account) {
            log_.write(NoAccountLine(grant.name, folderPath_) +
                       (grant.failure.empty() ? L"" : L" (" + grant.failure + L")"));
            continue;
        }
        const std::wstring outcome = !grant.failure.empty() ? grant.failure
                                     : !belowFailure.empty()
                                         ? belowFailure
                                         : L"done, " + std::to_wstring(below.changed) + L" entries, " +
                                               std::to_wstring(below.skipped) + L" skipped";
        log_.write(L"Grant: full control of \"" + folderPath_ + L"\" and everything below it to " +
                   grant.account->name + L" (" + grant.account->sid + L"): " + outcome);
    }
    if (below.skipped != 0) {
        warning_ = L"The permissions were not changed on " + std::to_wstring(below.skipped) +
                   (below.skipped == 1 ? L" entry" : L" entries") + L" of the data folder's tree " + folderPath_ +
                   L" (named in the run log).";
    }
    ownDatabase_.reset();
    ownFolder_.reset();
}

}  // namespace car

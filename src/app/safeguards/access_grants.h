// The grants of full control, made by the program itself through the
// security API on what the run holds: the database through the hold that
// keeps its name through the grants, the data folder through the hold of the
// folder, and everything below the folder through a walk of the tree that
// follows no link (TreeGrant), once for all the folder's accounts. Each grant
// is one line of the log, naming the account and its SID; a name without an
// account here gets no grant and a line that says so. The folder grants
// cover the database's folder, never the root of a drive or a share.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/safeguards/grant_accounts.h"
#include "app/safeguards/run_guard.h"
#include "app/safeguards/run_log.h"
#include "platform/platform.h"

namespace car {

class AccessGrants {
public:
    AccessGrants(Platform& platform, RunLog& log, RunGuard& guard)
        : platform_(platform), log_(log), guard_(guard), accounts_(platform) {}

    // The folder whose whole tree the folder grants cover: the database's
    // folder without doubled or trailing separators. Empty when there is none
    // to grant on: a path without a folder part, or a database in the root of
    // a drive or a share, whose tree is far more than the suite's data.
    static std::wstring DataFolder(const std::wstring& dbPath);
    // Before the first grant.
    void Begin();
    // Gives the account the name stands for full control of the database
    // (`asfile`) or of the data folder, inherited by what is inside it.
    void Grant(const std::wstring& target, const std::wstring& name, bool asfile);
    // After the last grant: everything below the folder for each of the
    // folder's accounts, and the folder's lines.
    void Finish();
    // Entries of the folder's tree that were left without the grants, for
    // the run's final text; empty when there were none.
    const std::wstring& warning() const { return warning_; }

private:
    struct FolderGrant {
        std::wstring name;
        std::optional<Account> account;
        std::wstring failure;  // of the folder itself; empty when it was done
    };
    // What a grant goes through: the run's hold, or one of the grants' own.
    GrantablePath* Target(const std::wstring& target, bool asfile);
    static std::wstring Line(const std::wstring& target, const Account& account);

    Platform& platform_;
    RunLog& log_;
    RunGuard& guard_;
    GrantAccounts accounts_;
    std::unique_ptr<GrantablePath> ownDatabase_;
    std::unique_ptr<GrantablePath> ownFolder_;
    std::wstring folderPath_;
    std::vector<FolderGrant> folderGrants_;
    std::wstring warning_;
};

}  // namespace car

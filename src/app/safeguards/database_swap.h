// The swap: the old database takes its backup name and the compacted copy,
// held since the engine ended, takes the database's name through its hold.
// With hard links a complete database stands under the database's name at
// every instant: the old file gets its backup name as a second name, then one
// rename puts the compacted copy in its place. A volume without hard links
// gets two renames, and the old database is put back if the second one
// fails. A rename or a second name refused for a moment (a virus scanner, a
// backup agent) is tried again in progress steps, the status unchanged, for
// up to 30 seconds; then it fails as it would have at once.
#pragma once

#include <functional>
#include <string>

#include "app/safeguards/run_guard.h"
#include "app/safeguards/run_log.h"
#include "app/safeguards/run_steps.h"
#include "platform/platform.h"

namespace car {

class DatabaseSwap {
public:
    DatabaseSwap(Platform& platform, RunLog& log, RunGuard& guard, RunSteps steps)
        : platform_(platform), log_(log), guard_(guard), steps_(std::move(steps)) {}

    // Swaps the files. On success the swapped-in database is held by the
    // guard for the grants and BackupPath() names the old one. False, with
    // nothing renamed, when what stands under the copy's name is not the
    // engine's plain file (NotTheEnginesCopy() says what it is). A failure
    // is thrown with where the files are; NothingRenamed() tells whether the
    // database is still as it was.
    bool Swap(const std::wstring& dbPath, const std::wstring& compactedPath, const std::wstring& backupPath);
    const std::wstring& BackupPath() const { return backupPath_; }
    const std::wstring& NotTheEnginesCopy() const { return wrong_; }
    bool NothingRenamed() const { return !renaming_; }

private:
    void Retried(const std::function<void()>& attempt);

    Platform& platform_;
    RunLog& log_;
    RunGuard& guard_;
    RunSteps steps_;
    std::wstring backupPath_;
    std::wstring wrong_;
    bool renaming_ = false;
};

}  // namespace car

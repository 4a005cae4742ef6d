// The engine's compacted copy from the moment the engine has ended to the
// swap. It lies under a name that the log (readable by every user) gives, in
// a folder that every user may write: held open without delete sharing, it
// cannot be renamed away and replaced by a link to somewhere else, and
// everything the run does to it (its owner and access list, the flush, the
// rename that makes it the database) goes through the hold.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/safeguards/run_log.h"
#include "platform/platform.h"

namespace car {

class CompactedCopy {
public:
    // Runs an attempt again while it fails for a moment (a virus scanner or
    // a backup agent reading the file), as the swap's renames are.
    using Retry = std::function<void(const std::function<void()>&)>;

    CompactedCopy(Platform& platform, RunLog& log, Retry retried)
        : platform_(platform), log_(log), retried_(std::move(retried)) {}

    // Holds the copy and the database for a look at both: empty when the
    // copy is a plain file with one name on the database's volume, and then
    // it has the database's owner and access list and is on the disk; else
    // what is wrong with it, and nothing of it is held. Fails when either
    // cannot be opened.
    std::wstring take(const std::wstring& copyPath, const std::wstring& dbPath);
    HeldFile& file() { return *copy_; }
    // The hold, for whoever keeps the file (now the database) from here on.
    std::unique_ptr<HeldFile> release() { return std::move(copy_); }

private:
    Platform& platform_;
    RunLog& log_;
    Retry retried_;
    std::unique_ptr<HeldFile> copy_;
};

}  // namespace car

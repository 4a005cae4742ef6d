// A run killed between the two renames of the swap (a volume without hard
// links) leaves nothing under the database's name: the old database under
// its backup name and the finished compacted copy under its temporary name.
// The next start puts the database back before anything else happens, and
// removes a leftover copy only while the database stands under its name.
#pragma once

#include <string>

#include "app/safeguards/last_run.h"
#include "app/safeguards/run_log.h"
#include "platform/platform.h"

namespace car {

// What a scanner, a backup agent or the indexer causes when it opens one of
// the files for a moment: worth trying again.
inline bool IsMomentary(const Error& error) {
    return error.number == kSharingViolationHr || error.number == kAccessDeniedHr;
}

class SwapRecovery {
public:
    SwapRecovery(Platform& platform, RunLog& log) : platform_(platform), log_(log) {}

    enum class Result { InPlace, PutBack, Lost };
    // When nothing stands under the database's name: if the last run began
    // its swap without finishing, the old database (its backup name) goes
    // back under the name, or, without it, the finished copy. Lost when
    // there is nothing to put back, or the rename keeps failing; failure()
    // says why.
    Result putBack(const std::wstring& dbPath, const LastRun& last);
    const std::wstring& failure() const { return failure_; }
    // The engine's copy the last run named, removed when it is still there,
    // and only while the database stands under its own name.
    void removeLeftoverCopy(const std::wstring& dbPath, const LastRun& last);

private:
    bool renamed(const std::wstring& from, const std::wstring& to);

    Platform& platform_;
    RunLog& log_;
    std::wstring failure_;
};

}  // namespace car

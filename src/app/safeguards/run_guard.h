// What keeps a run to itself from its checks to its end: the machine-wide
// lock that refuses a second run (a scheduled one and a person's, or two
// administrators on one server), the data folder held open, so that nobody
// can rename it away and put a link to some other folder in its place while
// the run, as SYSTEM, grants rights and starts programs there, the swapped-in
// database held open through its grants for the same reason, and, once the
// suite goes down, no logoff or shutdown in the middle of it.
#pragma once

#include <memory>
#include <string>

#include "app/safeguards/run_log.h"
#include "platform/platform.h"

namespace car {

class RunGuard {
public:
    explicit RunGuard(Platform& platform) : platform_(platform) {}

    // False when another run holds the machine's lock, or when the lock
    // cannot be taken at all (then lockFailure() says why): either way no
    // run may start.
    bool lockMachine();
    // The lock for a run or a check, before anything is written to its log:
    // empty when it is held; else what to tell, and the log beside the
    // database gets one line that says so and nothing that could be taken
    // for a run.
    std::wstring lockForRun(RunLog& log, const std::wstring& dbPath);
    // Holds the folder (none for an empty name). A folder that is a
    // reparse point is let go again, unless it is a volume mount point (a
    // data volume mounted into a folder): what it is, is given back. Fails
    // when the folder cannot be opened.
    ReparseKind holdFolder(const std::wstring& folder);
    // Holds the swapped-in database (by the hold the swap made it with) until
    // the grants are done.
    void holdDatabase(std::unique_ptr<HeldFile> database) { database_ = std::move(database); }
    // Lets the database go, for the suite's servers to open.
    void releaseDatabase() { database_.reset(); }
    // What is held now, for the grants to go through; null when nothing is.
    GrantablePath* database() { return database_.get(); }
    GrantablePath* folder() { return folder_.get(); }
    // From here on the suite goes down: a logoff or a shutdown is refused,
    // with the reason, until the run is over.
    void blockShutdown();
    // The run is over.
    void release();

private:
    Platform& platform_;
    std::unique_ptr<Held> lock_;
    std::unique_ptr<GrantablePath> folder_;
    std::unique_ptr<HeldFile> database_;
    std::wstring lockFailure_;   // why the lock could not be taken at all
    std::wstring lockSquatter_;  // the account, neither SYSTEM nor an administrator, whose object has the lock's name
    bool shutdownBlocked_ = false;
};

}  // namespace car

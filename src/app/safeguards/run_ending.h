// How the program ends, whichever way it ends: what the run still has stopped
// is said with the message, an unattended run that fails and any run that
// ends with the database as it was start the suite again first, the outcome
// goes to the log with the exit code, an unattended run leaves its event, and
// nothing is held while the last box waits for a person.
#pragma once

#include <functional>
#include <string>

#include "app/safeguards/compaction_check.h"
#include "app/safeguards/run_figures.h"
#include "app/safeguards/run_guard.h"
#include "app/safeguards/run_log.h"
#include "app/safeguards/stopped_by_run.h"
#include "app/safeguards/suite_restart.h"
#include "platform/platform.h"

namespace car {

class RunEnding {
public:
    struct Shared {
        RunLog& log;
        RunGuard& guard;
        StoppedByRun& stopped;
        SuiteRestart& restart;
        RunFigures& figures;
        CompactionCheck& check;
    };
    // What the window gives for the event: the database's path and the backup's.
    struct Window {
        std::function<std::wstring()> database;
        std::function<std::wstring()> backup;
    };

    RunEnding(Platform& platform, Shared shared, Window window)
        : platform_(platform), shared_(shared), window_(std::move(window)) {}

    // Without a person nothing waits for one; a check leaves no event.
    void SetMode(bool unattended, bool checkOnly) {
        unattended_ = unattended;
        checkOnly_ = checkOnly;
    }
    // The run will end with the database as it was: the suite is started
    // again in any case, with a person at the window too.
    void StartAgainOnFailure() { startAgain_ = true; }
    // Logs the outcome and ends the program with the exit code; the message,
    // with what is still stopped, goes to the log and, with a person at the
    // window, to a box once nothing is held any more.
    [[noreturn]] void End(int exitCode, const std::wstring& outcome, const std::wstring& message = {});
    // A service that refused to stop, or did not stop in time: the run ends
    // before any program is ended and before the compaction, and starts again
    // what it stopped.
    [[noreturn]] void EndBeforeCompaction(const std::wstring& why);
    // The run is over, whichever way: the log closed, the lock and the data
    // folder let go.
    void CloseRun();

private:
    Platform& platform_;
    Shared shared_;
    Window window_;
    bool unattended_ = false;
    bool checkOnly_ = false;
    bool startAgain_ = false;
};

}  // namespace car

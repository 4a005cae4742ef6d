// A run that was killed (Task Manager, a crash, a forced restart) leaves no
// outcome in its log and may have left the suite stopped. The next start
// finds it, puts the database back under its name if the kill came in the
// middle of the swap, says what is not running, and starts it again
// (unattended at once, with a person when asked); the engine's leftover copy
// goes, but only once the database stands under its name. What it acts on is
// the run's record in a folder only administrators write (RunRecord), never
// the log beside the database, and nothing is started without a database.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/safeguards/last_run.h"
#include "app/safeguards/run_guard.h"
#include "app/safeguards/run_log.h"
#include "app/safeguards/stopped_by_run.h"
#include "app/safeguards/suite_restart.h"
#include "platform/platform.h"

namespace car {

class InterruptedRun {
public:
    struct Shared {
        RunLog& log;
        RunGuard& guard;
        StoppedByRun& stopped;
        SuiteState& suite;
        SuiteRestart& restart;
        SuiteBack& back;
    };
    // What the window gives: the host name for a record's header, and the
    // wait for IIS's start, which leaves the window's status as it found it.
    struct Window {
        std::function<std::wstring()> hostName;
        std::function<void()> awaitIis;
    };
    // A database that could not be put back under its name: the program
    // ends with an error and starts nothing.
    struct Lost {
        std::wstring outcome;
        std::wstring message;
    };

    InterruptedRun(Platform& platform, Shared shared, Window window)
        : platform_(platform), shared_(shared), window_(std::move(window)) {}

    // Looks at the last run of the database's log and acts on it.
    std::optional<Lost> Find(const std::wstring& dbPath, bool unattended);
    // After Find: false when something it found down did not come back (or
    // was left down when asked); its record then stays without an outcome,
    // so that the next start deals with it again.
    bool AllBack() const { return allBack_; }

private:
    LastRun ReadLast(const std::wstring& dbPath);
    // The products and the dependent services the last run stopped that do
    // not run now, and their names as the log and the question say them.
    void LookAgain(const LastRun& last);
    void EndRecord(const std::wstring& outcome);

    Platform& platform_;
    Shared shared_;
    Window window_;
    std::vector<SuiteState::Product> down_;
    std::vector<std::wstring> dependents_;
    std::vector<std::wstring> downNames_;
    bool allBack_ = true;
};

}  // namespace car

// "/check", for monitoring and for an administrator before a maintenance
// window: every check a run makes before it stops anything, and what of the
// suite is installed and running now, said without stopping anything or
// writing anything beside the database but the log. A check is no run: its
// record says so, and one refused the lock writes a line and nothing more.
#pragma once

#include <functional>
#include <string>

#include "app/safeguards/run_guard.h"
#include "app/safeguards/run_log.h"
#include "app/safeguards/suite_state.h"

namespace car {

class CheckWithoutRun {
public:
    // What the window gives: the host name for the record's header, and the
    // checks before a run (empty when a run could start, else why not).
    struct Window {
        std::function<std::wstring()> hostName;
        std::function<std::wstring(const std::wstring&)> checksBeforeRun;
    };
    struct Result {
        int exitCode = 0;  // 0 when a run could start now, else the refused check's code
        std::wstring outcome;
        std::wstring report;
    };

    CheckWithoutRun(RunLog& log, RunGuard& guard, SuiteState& suite, Window window)
        : log_(log), guard_(guard), suite_(suite), window_(std::move(window)) {}

    Result Run(const std::wstring& dbPath);

private:
    RunLog& log_;
    RunGuard& guard_;
    SuiteState& suite_;
    Window window_;
};

}  // namespace car

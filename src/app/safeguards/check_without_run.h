// "/check", for monitoring and for an administrator before a maintenance
// window: every check a run makes before it stops anything, and what of the
// suite is installed and running now, said without stopping anything or
// writing anything beside the database but the log. A check is no run: its
// record says so, and one refused the lock writes a line and nothing more.
#pragma once

#include <functional>
#include <string>

#include "app/safeguards/checks_before_run.h"
#include "app/safeguards/run_guard.h"
#include "app/safeguards/run_log.h"
#include "app/safeguards/suite_state.h"

namespace car {

class CheckWithoutRun {
public:
    struct Result {
        int exitCode = 0;  // 0 when a run could start now, else the refused check's code
        std::wstring outcome;
        std::wstring report;
    };

    // `hostName` gives the host name for the record's header.
    CheckWithoutRun(RunLog& log, RunGuard& guard, SuiteState& suite, ChecksBeforeRun& checks,
                    std::function<std::wstring()> hostName)
        : log_(log), guard_(guard), suite_(suite), checks_(checks), hostName_(std::move(hostName)) {}

    Result Run(const std::wstring& dbPath);

private:
    RunLog& log_;
    RunGuard& guard_;
    SuiteState& suite_;
    ChecksBeforeRun& checks_;
    std::function<std::wstring()> hostName_;
};

}  // namespace car

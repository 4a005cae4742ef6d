// The figures of a run that a fleet's monitoring collects: the database's
// size before and after, how long the suite was down (from the first stop to
// the check that it came back) and the verification's verdict, in the log
// and as the unattended run's event fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/safeguards/run_log.h"
#include "platform/platform.h"

namespace car {

class RunFigures {
public:
    RunFigures(Platform& platform, RunLog& log) : platform_(platform), log_(log) {}

    void Clear() {
        sizeBefore_.reset();
        sizeAfter_.reset();
        stoppedAt_.reset();
        downMs_.reset();
    }
    // The first stop of the suite: the clock of its down time starts.
    void SuiteStopping();
    // The check that the suite came back: the down time is logged.
    void SuiteBack();
    void SizeBefore(std::uint64_t bytes) { sizeBefore_ = bytes; }
    void SizeAfter(std::uint64_t bytes) { sizeAfter_ = bytes; }

    // An unattended run's outcome in the Application event log, for the
    // monitoring that watches it rather than files on the server; an event
    // that cannot be written is logged.
    void ReportEvent(const std::wstring& outcome, int exitCode, const std::wstring& database,
                     const std::wstring& backup, const std::wstring& verification);

private:
    // The event's insertion strings, %1 to %9 of the program's message table:
    // outcome, exit code, database, backup, size before, size after, seconds
    // down, verification, log. A figure the run did not get to is empty.
    std::vector<std::wstring> EventFields(const std::wstring& outcome, int exitCode, const std::wstring& database,
                                          const std::wstring& backup, const std::wstring& verification) const;

    Platform& platform_;
    RunLog& log_;
    std::optional<std::uint64_t> sizeBefore_;
    std::optional<std::uint64_t> sizeAfter_;
    std::optional<std::uint64_t> stoppedAt_;
    std::optional<std::uint64_t> downMs_;
};

}  // namespace car

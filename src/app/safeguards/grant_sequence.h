// The CACLS grants one at a time: each is awaited before the next starts, so
// that two edits of the same access list never overlap, and one that hangs is
// left to run on after a minute. Each grant's end is in the log. The folder
// grants cover the database's folder, never the root of a drive or a share.
#pragma once

#include <cstdint>
#include <string>

#include "app/safeguards/program_starts.h"
#include "app/safeguards/run_log.h"
#include "platform/platform.h"

namespace car {

class GrantSequence {
public:
    GrantSequence(Platform& platform, RunLog& log, ProgramStarts& programs)
        : platform_(platform), log_(log), programs_(programs) {}

    // The folder whose whole tree the folder grants cover: the database's
    // folder without doubled or trailing separators (a quoted argument ending
    // in "\" would escape its closing quote). Empty when there is none to
    // grant on: a path without a folder part, or a database in the root of a
    // drive or a share, whose tree is far more than the suite's data.
    static std::wstring DataFolder(const std::wstring& dbPath);
    // Starts the grant once the one before it has ended.
    void Start(const std::wstring& commandLine);
    // Waits for the last grant started.
    void AwaitLast();

private:
    Platform& platform_;
    RunLog& log_;
    ProgramStarts& programs_;
    std::wstring lastCommand_;
    std::uint32_t lastProcess_ = 0;
};

}  // namespace car

// Everything that can be known to make a run fail once the suite is down is
// looked at before anything is stopped: the database's path and file, links
// in a folder that every user may write, the free space for the compacted
// copy, a free temporary name, the tool that stops and starts IIS, and the
// JET engine. The data folder is held open from here to the run's end.
#pragma once

#include <string>

#include "app/safeguards/program_starts.h"
#include "app/safeguards/run_guard.h"
#include "app/safeguards/run_log.h"
#include "app/safeguards/suite_state.h"
#include "app/safeguards/temp_name_draw.h"
#include "platform/platform.h"

namespace car {

class ChecksBeforeRun {
public:
    struct Shared {
        RunLog& log;
        RunGuard& guard;
        TempNameDraw& names;
        ProgramStarts& programs;
        SuiteState& suite;
    };

    ChecksBeforeRun(Platform& platform, Shared shared) : platform_(platform), shared_(shared) {}

    // Empty when the run can go ahead; otherwise what to tell the user.
    std::wstring Check(const std::wstring& dbPath);

private:
    Platform& platform_;
    Shared shared_;
};

}  // namespace car

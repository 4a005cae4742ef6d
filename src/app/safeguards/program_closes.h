// A server program ended in the middle of a write is what leaves a JET
// database in need of repair. So before the run ends the suite's programs it
// asks each of them to close, as Windows does at logoff, and waits in
// progress steps, at most a minute, until each has closed or the database is
// free; only what still runs then is ended. A program that closes at once
// costs a reading of the process list and shows nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/safeguards/run_log.h"
#include "app/safeguards/run_steps.h"
#include "app/safeguards/stopped_by_run.h"
#include "platform/platform.h"

namespace car {

class ProgramCloses {
public:
    ProgramCloses(Platform& platform, RunLog& log, StoppedByRun& stopped, RunSteps steps)
        : platform_(platform), log_(log), stopped_(stopped), steps_(std::move(steps)) {}

    // Asks every running process of these program names to close, all at
    // once, then waits; each asked process is logged as closed or not. What
    // still runs afterwards is the caller's to end. A failure to read the
    // process list or the database's state ends the wait and is logged.
    void AskAndAwait(const std::vector<std::wstring>& names, const std::wstring& dbPath);

private:
    struct Asked {
        std::wstring name;
        std::uint32_t processId = 0;
    };
    static std::vector<std::wstring> Names(const std::vector<Asked>& asked);  // each once, in order
    std::vector<Asked> AskAll(const std::vector<std::wstring>& names);
    // Drops, and logs, the asked processes that have ended.
    void DropClosed(std::vector<Asked>& asked);
    // Waits while any asked process runs; the seconds waited, and whether the
    // database was found free before they all closed.
    std::uint64_t Await(std::vector<Asked>& asked, const std::wstring& dbPath, bool& databaseFree);

    Platform& platform_;
    RunLog& log_;
    StoppedByRun& stopped_;
    RunSteps steps_;
};

}  // namespace car

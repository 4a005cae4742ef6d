// A server under load can take longer than the fixed waits to let go of the
// database, and the compaction would then fail with the suite stopped. So the
// run waits, in progress steps and at most a minute, until no other process
// holds the database open, and says who holds it; then the compaction goes
// ahead either way and fails its own way if the file is still held. A file
// free at once costs nothing.
#pragma once

#include <string>

#include "app/safeguards/run_steps.h"
#include "platform/platform.h"

namespace car {

class DatabaseRelease {
public:
    DatabaseRelease(Platform& platform, RunSteps steps) : platform_(platform), steps_(std::move(steps)) {}

    // Waits, then shows `status` again (a copy: the status it replaces may be that very text).
    void Await(const std::wstring& dbPath, std::wstring status);

private:
    Platform& platform_;
    RunSteps steps_;
};

}  // namespace car

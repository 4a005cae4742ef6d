// On a busy server "iisreset /stop" takes far longer than the run's five
// steps; IIS started again while it still stops may stay down, and the check
// that the suite came back must not look before its start is done. So
// iisreset is started and left to run, and awaited where it matters (its
// stop before the compaction, its start before that check) in progress
// steps, at most three minutes; one done in time costs nothing.
#pragma once

#include <cstdint>
#include <string>

#include "app/safeguards/run_log.h"
#include "app/safeguards/run_steps.h"
#include "platform/platform.h"

namespace car {

class IisWaits {
public:
    IisWaits(Platform& platform, RunLog& log, RunSteps steps)
        : platform_(platform), log_(log), steps_(std::move(steps)) {}

    // Waits for the iisreset process ("stop" or "start") and logs how it ended.
    void Await(std::uint32_t process, const std::wstring& verb);
    // An "iisreset /start" that runs now, to be awaited later.
    void Starting(std::uint32_t process) { start_ = process; }
    // Waits for the start noted, if any.
    void AwaitStart();

private:
    Platform& platform_;
    RunLog& log_;
    RunSteps steps_;
    std::uint32_t start_ = 0;
};

}  // namespace car

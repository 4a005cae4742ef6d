// A server is never ended while it may still write the database. The run
// waits, in progress steps and at most two minutes, until every service it
// stopped reports Stopped; dependent services that hold up a service's stop
// are stopped first through the service control manager, and awaited the
// same way. A service stopped at once costs nothing.
#pragma once

#include <string>
#include <vector>

#include "app/safeguards/run_log.h"
#include "app/safeguards/run_steps.h"
#include "app/safeguards/stopped_by_run.h"
#include "platform/platform.h"

namespace car {

class ServiceStops {
public:
    ServiceStops(Platform& platform, RunLog& log, StoppedByRun& stopped, RunSteps steps)
        : platform_(platform), log_(log), stopped_(stopped), steps_(std::move(steps)) {}

    // Stops the running services that depend on the service and waits for
    // them; empty when they stopped, else why the run cannot go on (one
    // refused, or did not stop in time).
    std::wstring StopDependents(const std::wstring& service);
    // Waits for the services the run stopped; empty when they all report
    // Stopped in time, else why the run cannot go on.
    std::wstring AwaitServicesStopped();
    // Waits, the same way, for a service that is still stopping, so that a
    // start asks for it only once it can start; empty when it stopped.
    std::wstring AwaitStopBeforeStart(const std::wstring& service);

private:
    // The services that still do not report Stopped (or missing) at the limit.
    std::vector<std::wstring> AwaitStopped(const std::vector<std::wstring>& names);

    Platform& platform_;
    RunLog& log_;
    StoppedByRun& stopped_;
    RunSteps steps_;
};

}  // namespace car

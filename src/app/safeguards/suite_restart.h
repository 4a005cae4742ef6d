// The suite as an administrator expects it after a run, whichever way the run
// ends: every installed product started the way it is installed, one that was
// down before the run as much as one the run stopped, and none a second time;
// the dependent services the run stopped; IIS for the Organizer. A run that
// fails after it stopped something starts the same way, and looks at what
// came back.
#pragma once

#include <functional>
#include <string>

#include "app/safeguards/iis_waits.h"
#include "app/safeguards/run_figures.h"
#include "app/safeguards/run_log.h"
#include "app/safeguards/stopped_by_run.h"
#include "app/safeguards/suite_back.h"
#include "app/safeguards/suite_state.h"
#include "platform/platform.h"

namespace car {

// The window's own ways of starting: each product's start procedure, and a
// command line started in a window style, which gives its process's id.
struct SuiteStarts {
    std::function<void()> teamharbor;
    std::function<void()> mailServer;
    std::function<double(const std::wstring&, int)> run;
};

class SuiteRestart {
public:
    struct Shared {
        StoppedByRun& stopped;
        SuiteState& suite;
        SuiteBack& back;
        IisWaits& iis;
        RunFigures& figures;
    };

    SuiteRestart(Platform& platform, RunLog& log, Shared shared, SuiteStarts starts)
        : platform_(platform), log_(log), shared_(shared), starts_(std::move(starts)) {}

    // Starts every installed product whose server does not run now, the
    // dependent services the run stopped, and IIS: always when `iis` says,
    // else when the run stopped it or its web service is down.
    void StartSuite(bool iis);
    void Start(SuiteState::ProductId product);
    // Through the service control manager, as they were stopped.
    void StartDependents();
    // After a failure: the suite started as above, IIS awaited, and what did
    // not come back in the log. The database files stay as the failure left them.
    void AfterFailure();

private:
    void StartIis();

    Platform& platform_;
    RunLog& log_;
    Shared shared_;
    SuiteStarts starts_;
};

}  // namespace car

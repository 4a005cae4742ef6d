#include "app/safeguards/suite_restart.h"

#include <string>
#include <vector>

#include "app/suite.h"

namespace car {

void SuiteRestart::StartSuite(bool iis) {
    if (shared_.suite.InstalledNowOrAtStart(std::wstring(suite::kTeamharborKey))) starts_.teamharbor();
    platform_.pumpMessages();
    if (shared_.suite.InstalledNowOrAtStart(std::wstring(suite::kTeampostKey))) starts_.mailServer();
    platform_.pumpMessages();
    StartDependents();
    if (!shared_.suite.InstalledNowOrAtStart(std::wstring(suite::kOrganizerKey))) return;
    bool webServiceRuns = false;
    try {
        webServiceRuns = !iis && !shared_.stopped.iisStopped() && shared_.suite.ServiceRunsOrStarts(L"W3SVC");
    } catch (const Error& error) {
        log_.write(L"Whether IIS runs could not be read (" + errorSummary(error) + L")");
    }
    if (!webServiceRuns) StartIis();
}

void SuiteRestart::Start(SuiteState::ProductId product) {
    switch (product) {
        case SuiteState::ProductId::Teamharbor:
            starts_.teamharbor();
            break;
        case SuiteState::ProductId::MailServer:
            starts_.mailServer();
            break;
        case SuiteState::ProductId::Organizer:
            StartIis();
            break;
    }
}

// Once the services they depend on run again.
void SuiteRestart::StartDependents() {
    for (const std::wstring& dependent : std::vector<std::wstring>(shared_.stopped.dependents())) {
        try {
            platform_.startServiceDirectly(dependent);
            log_.write(L"Started the dependent service " + dependent + L" through the service control manager");
            shared_.stopped.dependentStarted(dependent);
        } catch (const Error& error) {
            log_.write(L"The dependent service " + dependent + L" could not be started (" + errorSummary(error) + L")");
        }
        shared_.back.Restarting(dependent, dependent, SuiteBack::Mode::Service);
    }
}

// IIS comes back with the suite's web front end: the check that the suite
// came back looks at its web service too, once the start is done.
// Noted before it is started: a start that fails is then said as such.
void SuiteRestart::StartIis() {
    shared_.back.Restarting(L"IIS", L"W3SVC");
    shared_.iis.Starting(static_cast<std::uint32_t>(starts_.run(L"iisreset /start", 2)));
    shared_.stopped.iisStopped(false);
    shared_.back.Started(SuiteBack::Mode::Service);
}

// A run that nobody watches must never leave the suite down overnight, nor
// may any run that ends while the database is as it was.
void SuiteRestart::AfterFailure() {
    log_.write(L"Starting again what this run stopped");
    shared_.back.Clear();
    try {
        StartSuite(false);
        shared_.iis.AwaitStart();
    } catch (const Error& error) {
        log_.write(errorSummary(error));
    }
    const std::wstring notBack = shared_.back.NotBack();
    shared_.figures.SuiteBack();
    log_.write(notBack.empty() ? std::wstring(L"Every product started again is running") : L"Not back:" + notBack);
}

}  // namespace car

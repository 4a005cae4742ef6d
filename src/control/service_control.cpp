#include <algorithm>
#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/joined.h"
#include "app/safeguards/last_run.h"
#include "app/suite.h"

namespace car {
namespace {

// Win32_Service's return values that the run acts on.
constexpr std::uint32_t kAccepted = 0;
constexpr std::uint32_t kDependentsRunning = 3;
constexpr std::uint32_t kCannotAcceptControl = 5;
constexpr std::uint32_t kNotActive = 6;
constexpr std::uint32_t kAlreadyRunning = 10;

// What Win32_Service's methods mean by their return values.
std::wstring AnswerText(std::uint32_t answer) {
    static constexpr const wchar_t* kTexts[] = {
        L"success",
        L"the request is not supported",
        L"access denied",
        L"dependent services are running",
        L"the control is not valid for the service",
        L"the service cannot accept the control now",
        L"the service is not active",
        L"the service did not answer the request in time",
        L"unknown failure",
        L"the path to the service's program was not found",
        L"the service is already running",
        L"the service database is locked",
        L"a service it depends on has been deleted",
        L"a service it depends on failed to start",
        L"the service is disabled",
        L"the service could not log on",
        L"the service is marked for deletion",
        L"the service has no thread",
    };
    const std::wstring number = L"answered " + std::to_wstring(answer);
    return answer < std::size(kTexts) ? number + L": " + kTexts[answer] : number;
}

}  // namespace

// Issues the request and returns the method's return value for each service
// of that name: nothing here waits for the service's state. A stop is
// recorded before it is asked for: a request whose answer never comes may
// still go through, and the service must then be started again.
std::vector<std::uint32_t> frmCompactAndRepair::ControlService(const std::wstring& strServiceName,
                                                               const std::wstring& method) {
    auto wmi = platform_.connectWmi(std::wstring(suite::kWmiMoniker));
    std::vector<std::uint32_t> results;
    for (const WmiObject& service : wmi->execQuery(suite::ServiceQuery(strServiceName))) {
        if (method == L"StopService") stopped_.serviceStopped(strServiceName);
        results.push_back(wmi->execMethod(service, method));
        log_.write(method + L" " + service.name + L": " + std::to_wstring(results.back()));
    }
    return results;
}

// After WMI has once failed to answer, the service control manager, which
// answers on its own, takes every request of the run.
void frmCompactAndRepair::StartService(const std::wstring& strServiceName) {
    if (!wmiUnanswered_) {
        try {
            const std::vector<std::uint32_t> answers = ControlService(strServiceName, L"StartService");
            if (answers.empty()) return;
            // "Already running" is taken for a start only when it runs.
            const ServiceState state =
                answers.front() == kAlreadyRunning ? platform_.serviceState(strServiceName) : ServiceState::Running;
            if (answers.front() != kAccepted &&
                (answers.front() != kAlreadyRunning ||
                 (state != ServiceState::Running && state != ServiceState::StartPending))) {
                throw Error{static_cast<std::int32_t>(answers.front()), L"The service \"" + strServiceName +
                                                                            L"\" did not start (StartService " +
                                                                            AnswerText(answers.front()) + L")."};
            }
            stopped_.serviceStarted(strServiceName);
            return;
        } catch (const Error& error) {
            if (error.number != kWmiTimeoutHr) throw;
            wmiUnanswered_ = true;
            log_.write(errorSummary(error));
        }
    }
    platform_.startServiceDirectly(strServiceName);
    log_.write(L"Started " + strServiceName + L" through the service control manager: WMI does not answer");
    stopped_.serviceStarted(strServiceName);
}

// A server is never ended while it may still write the database: a stop
// held up by dependent services stops them first; a service already stopping
// is awaited; any other refusal ends the run before anything is ended or
// compacted. One that is not running is not this run's to wait for or to
// start again.
void frmCompactAndRepair::StopService(const std::wstring& strServiceName) {
    std::vector<std::uint32_t> results = ControlService(strServiceName, L"StopService");
    if (results.empty()) return;
    if (results.front() == kDependentsRunning) {
        if (const std::wstring why = stops_.StopDependents(strServiceName); !why.empty())
            ending_.EndBeforeCompaction(why);
        results = ControlService(strServiceName, L"StopService");
        if (results.empty()) return;
    }
    const std::uint32_t answer = results.front();
    if (answer == kAccepted) return;
    if (answer == kNotActive) {
        stopped_.serviceStarted(strServiceName);
        return;
    }
    if (answer == kCannotAcceptControl && platform_.serviceState(strServiceName) == ServiceState::StopPending) return;
    stopped_.serviceStarted(strServiceName);
    ending_.EndBeforeCompaction(L"The service \"" + strServiceName + L"\" refused to stop (StopService " +
                                AnswerText(answer) + L").");
}

}  // namespace car

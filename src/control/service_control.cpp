#include <algorithm>
#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/joined.h"
#include "app/suite.h"

namespace car {

// Issues the request and returns the method's return value for each service
// of that name: nothing here waits for the service's state, and a request
// refused only by its return value passes unnoticed.
std::vector<std::uint32_t> frmCompactAndRepair::ControlService(const std::wstring& strServiceName,
                                                               const std::wstring& method) {
    auto wmi = platform_.connectWmi(std::wstring(suite::kWmiMoniker));
    std::vector<std::uint32_t> results;
    for (const WmiObject& service : wmi->execQuery(suite::ServiceQuery(strServiceName))) {
        results.push_back(wmi->execMethod(service, method));
        log_.write(method + L" " + service.name + L": " + std::to_wstring(results.back()));
    }
    return results;
}

void frmCompactAndRepair::StartService(const std::wstring& strServiceName) {
    if (wmiUnanswered_) {
        platform_.startServiceDirectly(strServiceName);
        log_.write(L"Started " + strServiceName + L" through the service control manager: WMI does not answer");
        stopped_.serviceStarted(strServiceName);
        return;
    }
    if (!ControlService(strServiceName, L"StartService").empty()) stopped_.serviceStarted(strServiceName);
}

// Only a stop the service accepted stops it: one that was not running, or
// that refused, is not this run's to wait for or to start again.
void frmCompactAndRepair::StopService(const std::wstring& strServiceName) {
    const std::vector<std::uint32_t> results = ControlService(strServiceName, L"StopService");
    if (std::find(results.begin(), results.end(), 0U) != results.end()) stopped_.serviceStopped(strServiceName);
}

// A server that takes longer to shut down than the run's three steps would be
// ended while it still writes the database: the run waits, in progress steps
// and at most two minutes, until every service it stopped reports Stopped.
// A service stopped at once costs nothing.
void frmCompactAndRepair::WaitForServicesToStop() {
    const std::wstring stopping = lblStatus.Caption();
    bool waited = false;
    for (int step = 0;; ++step) {
        std::vector<std::wstring> pending;
        for (const std::wstring& name : stopped_.services()) {
            try {
                const ServiceState state = platform_.serviceState(name);
                if (state != ServiceState::Stopped && state != ServiceState::Missing) pending.push_back(name);
            } catch (const Error& error) {
                log_.write(L"The state of " + name + L" could not be read (" + errorSummary(error) + L")");
            }
        }
        if (pending.empty() || step == kMostStepsForServices) break;
        lblStatus.setCaption(L"Waiting for " + JoinedWithAnd(pending) + L" to stop... " + std::to_wstring(step / 2) +
                             L" s of at most " + std::to_wstring(kMostStepsForServices / 2) + L" s");
        anicompress();
        waited = true;
    }
    if (waited) lblStatus.setCaption(stopping);
}

}  // namespace car

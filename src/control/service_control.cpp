#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {

// Issues the request and returns: nothing waits for the service's state, and
// a request refused only by the method's return code passes unnoticed.
std::size_t frmCompactAndRepair::ControlService(const std::wstring& strServiceName, const std::wstring& method) {
    auto wmi = platform_.connectWmi(std::wstring(suite::kWmiMoniker));
    const std::vector<WmiObject> services = wmi->execQuery(suite::ServiceQuery(strServiceName));
    for (const WmiObject& service : services) {
        log_.write(method + L" " + service.name + L": " + std::to_wstring(wmi->execMethod(service, method)));
    }
    return services.size();
}

void frmCompactAndRepair::StartService(const std::wstring& strServiceName) {
    if (ControlService(strServiceName, L"StartService") > 0) stopped_.serviceStarted(strServiceName);
}

void frmCompactAndRepair::StopService(const std::wstring& strServiceName) {
    if (ControlService(strServiceName, L"StopService") > 0) stopped_.serviceStopped(strServiceName);
}

}  // namespace car

#include <string>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {

// Issues the request and returns: nothing waits for the service's state, and
// a request refused only by the method's return code passes unnoticed.
void frmCompactAndRepair::ControlService(const std::wstring& strServiceName, const std::wstring& method) {
    auto wmi = platform_.connectWmi(std::wstring(suite::kWmiMoniker));
    for (const WmiObject& service :
         wmi->execQuery(L"Select * from Win32_Service Where Name ='" + strServiceName + L"'")) {
        wmi->execMethod(service, method);
    }
}

void frmCompactAndRepair::StartService(const std::wstring& strServiceName) {
    ControlService(strServiceName, L"StartService");
}

void frmCompactAndRepair::StopService(const std::wstring& strServiceName) {
    ControlService(strServiceName, L"StopService");
}

double frmCompactAndRepair::runexe(const std::wstring& exename, int runtype) {
    return static_cast<double>(platform_.launch(exename, runtype));
}

}  // namespace car

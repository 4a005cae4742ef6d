#include "app/safeguards/check_without_run.h"

#include <string>

#include "app/safeguards/last_run.h"

namespace car {

CheckWithoutRun::Result CheckWithoutRun::Run(const std::wstring& dbPath) {
    std::wstring problem = guard_.lockForRun(log_, dbPath);
    if (problem.empty()) {
        log_.beginRecord(dbPath, hostName_(), kCheckRecord);
        problem = checks_.Check(dbPath);
    }
    std::wstring report =
        problem.empty() ? std::wstring(L"A run could start now: every check before a run passed.") : problem;
    report += L"\r\n";
    for (const SuiteState::Product& product : suite_.Now()) {
        report += L"\r\n" + product.name + L": ";
        if (!product.installed) {
            report += L"not installed";
            continue;
        }
        report += L"installed, " + std::wstring(product.webService ? L"IIS's web service " : L"") +
                  (!product.failure.empty() ? L"whether it runs could not be read (" + product.failure + L")"
                   : product.runs           ? L"running"
                                            : L"not running");
    }
    if (problem.empty()) return {kExitLeft, L"checked, a run could start now", report};
    return {kExitRefused, L"checked, a run could not start now", report};
}

}  // namespace car

#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/safeguards/last_run.h"
#include "app/suite.h"

namespace car {

// "/check": everything the press checks before a run, and what of the suite
// is installed and running now, said without stopping anything or writing
// anything beside the database but the log; ends with 0 when a run could
// start now, else with the refused check's code.
void frmCompactAndRepair::RunCheck() {
    const std::wstring dbPath = txtDBPath.Caption();
    // A check is no run: its record says so, and one refused the lock
    // writes a line and nothing more.
    std::wstring problem = guard_.lockForRun(log_, dbPath);
    if (problem.empty()) {
        log_.beginRecord(dbPath, GetHostName(), kCheckRecord);
        problem = CheckBeforeRun(dbPath);
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
    EndProgram(problem.empty() ? kExitLeft : kExitRefused,
               problem.empty() ? L"checked, a run could start now" : L"checked, a run could not start now", report);
}

}  // namespace car

#include <string>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {

// "/check": everything the press checks before a run, and what of the suite
// is installed and running now, said without stopping anything or writing
// anything beside the database but the log; ends with 0 when a run could
// start now, else with the refused check's code.
void frmCompactAndRepair::RunCheck() {
    StartRun(txtDBPath.Caption());
    const std::wstring problem = CheckBeforeRun(txtDBPath.Caption());
    Tell((problem.empty() ? std::wstring(L"A run could start now: every check before a run passed.") : problem) +
         L"\r\n\r\n" + SuiteNow());
    EndProgram(problem.empty() ? kExitLeft : kExitRefused,
               problem.empty() ? L"checked, a run could start now" : L"checked, a run could not start now");
}

// One line a product: whether it is installed and, if so, whether its server
// (its service or its program) runs; for the Organizer, IIS's web service.
std::wstring frmCompactAndRepair::SuiteNow() {
    const auto line = [&](const wchar_t* name, std::wstring_view key, const std::wstring& service,
                          const std::wstring& program) {
        if (!RegistryItemExists(std::wstring(key))) return std::wstring(name) + L": not installed";
        std::wstring state;
        try {
            state = ServiceRunsOrStarts(service) || (!program.empty() && ProgramRuns(program)) ? L"running"
                                                                                               : L"not running";
        } catch (const Error& error) {
            state = L"whether it runs could not be read (" + errorSummary(error) + L")";
        }
        return std::wstring(name) + L": installed, " + (program.empty() ? L"IIS's web service " : L"") + state;
    };
    return line(L"Teamharbor", suite::kTeamharborKey, std::wstring(suite::kTeamharborService), L"THService.exe") +
           L"\r\n" +
           line(L"Quorvin Mail Server", suite::kTeampostKey, std::wstring(suite::kMailServerService), L"QMSSrv.exe") +
           L"\r\n" + line(L"Quorvin Organizer", suite::kOrganizerKey, L"W3SVC", L"");
}

}  // namespace car

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
    for (const ProductState& product : SuiteState()) {
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

bool frmCompactAndRepair::InstalledAsProgram(const std::wstring& productKey) {
    try {
        return RegValueToNumber(ReadReg(productKey + L"Setup\\installAsExe")) == 1;
    } catch (const Error&) {
        return false;
    }
}

// Each product, whether it is installed and, if so, whether its server (its
// service or its program) runs; for the Organizer, IIS's web service.
std::vector<frmCompactAndRepair::ProductState> frmCompactAndRepair::SuiteState() {
    struct Known {
        const wchar_t* name;
        std::wstring_view key;
        std::wstring_view service;
        const wchar_t* program;
        bool webService;
        void (frmCompactAndRepair::*startAgain)();
    };
    static constexpr Known kProducts[] = {
        {L"Teamharbor", suite::kTeamharborKey, suite::kTeamharborService, L"THService.exe", false,
         &frmCompactAndRepair::StartTeamharbor},
        {L"Quorvin Mail Server", suite::kTeampostKey, suite::kMailServerService, L"QMSSrv.exe", false,
         &frmCompactAndRepair::StartMailServer},
        {L"Quorvin Organizer", suite::kOrganizerKey, L"W3SVC", L"", true, &frmCompactAndRepair::StartIis},
    };
    std::vector<ProductState> states;
    for (const Known& known : kProducts) {
        ProductState state{.name = known.name,
                           .installed = RegistryItemExists(std::wstring(known.key)),
                           .runs = false,
                           .failure = {},
                           .webService = known.webService,
                           .startAgain = known.startAgain};
        if (state.installed) {
            try {
                // A server installed as a program is its program; else its service.
                const std::wstring program(known.program);
                state.runs = !program.empty() && InstalledAsProgram(std::wstring(known.key))
                                 ? ProgramRuns(program)
                                 : ServiceRunsOrStarts(std::wstring(known.service));
            } catch (const Error& error) {
                state.failure = errorSummary(error);
            }
        }
        states.push_back(std::move(state));
    }
    return states;
}

}  // namespace car

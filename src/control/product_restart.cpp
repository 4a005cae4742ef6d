#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {

struct ProductSetup {
    std::wstring_view name;
    std::wstring_view folderValue;
    std::wstring_view installModeValue;
    std::wstring_view programFile;
    std::wstring_view serviceName;
    std::wstring_view serverProgram;  // the process a run ends
    std::wstring_view failureMessage;
};

namespace {

constexpr ProductSetup kTeamharbor{
    L"Teamharbor",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teamharbor\\Setup\\Folder",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teamharbor\\Setup\\installAsExe",
    L"\\THSERVICE.EXE",
    suite::kTeamharborService,
    L"THService.exe",
    L"Could not start Teamharbor, please start Teamharbor manually",
};

constexpr ProductSetup kMailServer{
    L"Quorvin Mail Server",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teampost\\Setup\\Folder",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teampost\\Setup\\installAsExe",
    L"\\QMSSrv.EXE",
    suite::kMailServerService,
    L"QMSSrv.exe",
    L"Could not start Quorvin Mail Server, please start Quorvin Mail Server manually",
};

}  // namespace

// Starts a server the way it is installed, unless it runs already: a second
// copy of a server program would fight the first for the database. Either way
// it is looked at once the run is over. Any failure is the product's own
// message to the user; the run goes on after it.
void frmCompactAndRepair::StartProduct(const ProductSetup& product) {
    back_.Restarting(std::wstring(product.name), std::wstring(product.serviceName));
    try {
        const RegValue folder = ReadReg(std::wstring(product.folderValue));
        const RegValue installMode = ReadReg(std::wstring(product.installModeValue));
        const bool asProgram = RegValueToNumber(installMode) == 1;
        const std::wstring service(product.serviceName);
        // The server is its own program file: one of the same name started
        // from elsewhere neither counts as it nor keeps it from starting.
        const std::wstring image = RegValueToText(folder) + std::wstring(product.programFile);
        const ServiceState state = asProgram ? ServiceState::Other : platform_.serviceState(service);
        if (asProgram ? suite_.ProgramRuns(std::wstring(product.serverProgram), image)
                      : state == ServiceState::Running || state == ServiceState::StartPending) {
            log_.write(std::wstring(product.name) + L" runs already: not started again");
        } else if (asProgram) {
            // Quoted: the folder usually holds blanks, and unquoted Windows
            // would try "C:\Program.exe" first.
            runexe(L"\"" + image + L"\"", 1);
        } else {
            // Windows refuses to start a service that is still stopping.
            if (state == ServiceState::StopPending) {
                if (const std::wstring late = stops_.AwaitStopBeforeStart(service); !late.empty()) {
                    throw Error{kWmiTimeoutHr, late};
                }
            }
            StartService(service);
        }
        // Either way the product's server runs again, as its service or as
        // its own program.
        stopped_.serviceStarted(std::wstring(product.serviceName));
        stopped_.programStarted(std::wstring(product.serverProgram));
        back_.Started(asProgram ? SuiteBack::Mode::Program : SuiteBack::Mode::Service,
                      std::wstring(product.serverProgram), image);
    } catch (const Error&) {
        Tell(std::wstring(product.failureMessage));
    }
}

void frmCompactAndRepair::StartTeamharbor() { StartProduct(kTeamharbor); }

void frmCompactAndRepair::StartMailServer() { StartProduct(kMailServer); }

}  // namespace car

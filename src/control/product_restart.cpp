#include <string>

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
    restarted_.push_back({std::wstring(product.name), std::wstring(product.serviceName),
                          std::wstring(product.serverProgram), RestartedProduct::Mode::NotStarted});
    try {
        const RegValue folder = ReadReg(std::wstring(product.folderValue));
        const RegValue installMode = ReadReg(std::wstring(product.installModeValue));
        const bool asProgram = RegValueToNumber(installMode) == 1;
        // Without WMI the run cannot look, and its program is one the run ended.
        if (asProgram ? !wmiUnanswered_ && ProgramRuns(std::wstring(product.serverProgram))
                      : ServiceRunsOrStarts(std::wstring(product.serviceName))) {
            log_.write(std::wstring(product.name) + L" runs already: not started again");
        } else if (asProgram) {
            // Quoted: the folder usually holds blanks, and unquoted Windows
            // would try "C:\Program.exe" first.
            runexe(L"\"" + RegValueToText(folder) + std::wstring(product.programFile) + L"\"", 1);
        } else {
            StartService(std::wstring(product.serviceName));
        }
        // Either way the product's server runs again, as its service or as
        // its own program.
        stopped_.serviceStarted(std::wstring(product.serviceName));
        stopped_.programStarted(std::wstring(product.serverProgram));
        restarted_.back().mode = asProgram ? RestartedProduct::Mode::Program : RestartedProduct::Mode::Service;
    } catch (const Error&) {
        Tell(std::wstring(product.failureMessage));
    }
}

// Only what this run stopped is started again. The product's key is probed as
// ever; a read that fails for another reason than a missing key (access
// denied, say) does not make a product this run stopped look uninstalled.
bool frmCompactAndRepair::RestartDue(const std::wstring& key, const ProductSetup& product) {
    const bool installed = RegistryItemExists(key);
    const bool stoppedByRun = stopped_.hasService(std::wstring(product.serviceName)) ||
                              stopped_.hasProgram(std::wstring(product.serverProgram));
    if (installed || !stoppedByRun) return installed && stoppedByRun;
    try {
        platform_.regRead(key);
    } catch (const Error& error) {
        if (error.number == kFileNotFoundHr) return false;
        log_.write(L"The key " + key + L" could not be read (" + errorSummary(error) + L"); " +
                   std::wstring(product.name) + L", which this run stopped, is started again all the same");
    }
    return true;
}

void frmCompactAndRepair::StartTeamharbor() { StartProduct(kTeamharbor); }

void frmCompactAndRepair::StartMailServer() { StartProduct(kMailServer); }

void frmCompactAndRepair::RestartTeamharbor() {
    if (RestartDue(std::wstring(suite::kTeamharborKey), kTeamharbor)) StartTeamharbor();
}

void frmCompactAndRepair::RestartMailServer() {
    if (RestartDue(std::wstring(suite::kTeampostKey), kMailServer)) StartMailServer();
}

}  // namespace car

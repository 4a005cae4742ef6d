#include <string>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {

struct ProductSetup {
    std::wstring_view folderValue;
    std::wstring_view installModeValue;
    std::wstring_view programFile;
    std::wstring_view serviceName;
    std::wstring_view failureMessage;
};

namespace {

constexpr ProductSetup kTeamharbor{
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teamharbor\\Setup\\Folder",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teamharbor\\Setup\\installAsExe",
    L"\\THSERVICE.EXE",
    suite::kTeamharborService,
    L"Could not start Teamharbor, please start Teamharbor manually",
};

constexpr ProductSetup kMailServer{
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teampost\\Setup\\Folder",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teampost\\Setup\\installAsExe",
    L"\\QMSSrv.EXE",
    suite::kMailServerService,
    L"Could not start Quorvin Mail Server, please start Quorvin Mail Server manually",
};

}  // namespace

// Starts a server the way it is installed. Any failure is the product's own
// message to the user; the run goes on after it.
void frmCompactAndRepair::StartProduct(const ProductSetup& product) {
    try {
        const RegValue folder = ReadReg(std::wstring(product.folderValue));
        const RegValue installMode = ReadReg(std::wstring(product.installModeValue));
        if (RegValueToNumber(installMode) == 1) {
            runexe(RegValueToText(folder) + std::wstring(product.programFile), 1);
            return;
        }
        StartService(std::wstring(product.serviceName));
    } catch (const Error&) {
        platform_.showMessage(std::wstring(product.failureMessage));
    }
}

void frmCompactAndRepair::StartTeamharbor() { StartProduct(kTeamharbor); }

void frmCompactAndRepair::StartMailServer() { StartProduct(kMailServer); }

}  // namespace car

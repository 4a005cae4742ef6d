#include <string>

#include "app/frmCompactAndRepair.h"

namespace car {

// The name is the one the grant has always had; the grant itself is made
// through the security API, on what the run holds, never by starting CACLS.
void frmCompactAndRepair::DoCACLS(const std::wstring& file, const std::wstring& user, bool asfile) {
    grants_.Grant(file, user, asfile);
}

void frmCompactAndRepair::SetPermissions() {
    int step = 0;
    const auto status = [&] {
        lblStatus.setCaption(L"Setting Permissions..." + (step == 0 ? std::wstring() : std::to_wstring(step)));
    };
    const auto next = [&] {
        ++step;
        status();
        anicompress();
    };

    grants_.Begin();
    status();
    DoCACLS(txtDBPath.Caption(), L"administrators", true);
    anicompress();
    DoCACLS(txtDBPath.Caption(), L"ASPNET", true);
    next();
    DoCACLS(txtDBPath.Caption(), L"IIS_WPG", true);
    next();
    DoCACLS(txtDBPath.Caption(), L"IWAM_" + GetHostName(), true);
    next();
    DoCACLS(txtDBPath.Caption(), L"IUSR_" + GetHostName(), true);
    next();
    DoCACLS(txtDBPath.Caption(), L"users", true);

    const std::wstring dataFolder = AccessGrants::DataFolder(txtDBPath.Caption());
    if (!dataFolder.empty()) {
        DoCACLS(dataFolder, L"administrators", false);
        next();
        DoCACLS(dataFolder, L"ASPNET", false);
        next();
        DoCACLS(dataFolder, L"IIS_WPG", false);
        next();
        DoCACLS(dataFolder, L"IWAM_" + GetHostName(), false);
        next();
        DoCACLS(dataFolder, L"IUSR_" + GetHostName(), false);
        next();
        DoCACLS(dataFolder, L"users", false);
    }
    grants_.Finish();
}

}  // namespace car

#include <string>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {
namespace {

const std::wstring kTeamharborKey(suite::kTeamharborKey);
const std::wstring kTeampostKey(suite::kTeampostKey);
const std::wstring kOrganizerKey(suite::kOrganizerKey);

}  // namespace

// The whole maintenance, once per start of the program. The only waits are
// progress steps: nothing polls a service, a process or IIS.
void frmCompactAndRepair::cmdCompact_Click() {
    // A second click, or Enter held down, lands in the run's own pumps before
    // the button is hidden: it must start nothing.
    if (running_) return;
    running_ = true;
    // The box of a failed check pumps messages too: still guarded.
    if (const std::wstring problem = CheckBeforeRun(txtDBPath.Caption()); !problem.empty()) {
        platform_.showMessage(problem);
        running_ = false;
        return;
    }

    lblStatus2.setVisible(true);
    thline.setVisible(false);
    tpline.setVisible(false);
    qoline.setVisible(false);
    if (!RegistryItemExists(kTeamharborKey)) imgTH.setVisible(false);
    if (!RegistryItemExists(kTeampostKey)) imgTP.setVisible(false);
    if (!RegistryItemExists(kOrganizerKey)) imgQO.setVisible(false);
    anicompress();
    lblStatus.setCaption(L"Going to Kill Processes");
    prjProgress.setVisible(true);
    cmdCompact.setVisible(false);
    cmdClose.setVisible(false);
    platform_.pumpMessages();
    cmdCompact.setEnabled(false);
    cmdClose.setEnabled(false);
    prjProgress.setValue(0.0F);
    anicompress();

    lblStatus.setCaption(L"Stopping Services");
    StopService(std::wstring(suite::kTeamharborService));
    StopService(std::wstring(suite::kMailServerService));
    for (int counter = 1; counter <= 3; ++counter) {
        lblStatus.setCaption(L"Stopping Services " + std::to_wstring(counter));
        anicompress();
        platform_.pumpMessages();
    }
    KillProcess(L"THService.exe");
    KillProcess(L"QMSSrv.exe");
    anicompress();
    lblStatus.setCaption(L"Stopping Admin");
    KillProcess(L"THAdmin.exe");
    KillProcess(L"TPAdmin.exe");
    KillProcess(L"QOAdmin.exe");
    for (int counter = 1; counter <= 3; ++counter) {
        lblStatus.setCaption(L"Stopping Admin " + std::to_wstring(counter));
        anicompress();
        platform_.pumpMessages();
    }
    if (RegistryItemExists(kOrganizerKey)) {
        lblStatus.setCaption(L"Stopping IIS");
        runexe(L"iisreset /stop", 2);
        stopped_.iisStopped(true);
        for (int counter = 1; counter <= 5; ++counter) {
            anicompress();
            platform_.pumpMessages();
            lblStatus.setCaption(L"Stopping IIS (Waiting..." + std::to_wstring(counter) + L")");
        }
    }
    prjProgress.setValue(1.0F);
    anicompress();
    anicompress();

    lblStatus.setCaption(L"About to compact and repair database...");
    platform_.pumpMessages();
    anicompress();
    lblStatus.setCaption(L"Compacting and repairing database...");
    CompactDB(txtDBPath.Caption());
    platform_.pumpMessages();
    anicompress();
    SetPermissions();
    platform_.pumpMessages();
    anicompress();
    platform_.pumpMessages();

    lblStatus.setCaption(L"Starting Services...");
    if (RegistryItemExists(kTeamharborKey)) StartTeamharbor();
    if (RegistryItemExists(kTeampostKey)) StartMailServer();
    if (RegistryItemExists(kOrganizerKey)) {
        runexe(L"iisreset /start", 2);
        stopped_.iisStopped(false);
    }
    platform_.pumpMessages();
    anicompress();

    prjProgress.setVisible(false);
    cmdClose.setEnabled(true);
    tmrSpin.setEnabled(false);
    cmdCompact.setVisible(true);
    cmdClose.setVisible(true);
    cmdClose.setCaption(L"Exit");
    cmdOpenDataFolder.setVisible(true);
    const int tickWidth = imgTick.Width();
    lblStatus.setWidth(lblStatus.Width() - tickWidth);
    lblStatus.setLeft(tickWidth + lblStatus.Left());
    imgTick.setVisible(true);
    lblStatus.setCaption(L"Compact and repair complete.\r\nThe old database has been backed up to: " + BackupPath_);

    running_ = false;
}

}  // namespace car

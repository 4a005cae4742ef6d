#include <string>
#include <string_view>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {
namespace {

const std::wstring kTeamharborKey(suite::kTeamharborKey);
const std::wstring kTeampostKey(suite::kTeampostKey);
const std::wstring kOrganizerKey(suite::kOrganizerKey);

}  // namespace

void frmCompactAndRepair::StartRun(const std::wstring& dbPath) {
    result_ = RunResult::None;
    figures_.Clear();
    log_.beginRecord(dbPath, GetHostName(), unattended_ ? L", unattended" : L"");
    if (!log_.records().problem().empty()) log_.write(log_.records().problem());
}

// The whole maintenance, once per start of the program. Its waits are
// progress steps; beyond the fixed ones it waits only for what has not yet
// happened (a service still stopping, IIS still stopping, the database still
// held), and not at all on a server where everything is done in time.
void frmCompactAndRepair::cmdCompact_Click() {
    // A second click, or Enter held down, lands in the run's own pumps before
    // the button is hidden: it must start nothing.
    if (running_) return;
    running_ = true;
    const std::wstring dbPath = txtDBPath.Caption();
    std::wstring problem = guard_.lockForRun(log_, dbPath);
    if (problem.empty()) {
        StartRun(dbPath);
        problem = checks_.Check(dbPath);
    }
    // The box of a failed check pumps messages too: still guarded.
    if (!problem.empty()) {
        result_ = RunResult::Refused;
        log_.write(L"Message: " + problem);
        if (!unattended_) {
            log_.write(L"Outcome: refused, nothing was stopped");
            // The box waits for a person: the machine and the folder are let go first.
            ending_.CloseRun();
            platform_.showMessage(problem);
        }
        running_ = false;
        return;
    }

    // From here on the suite goes down: no logoff or shutdown until it is back.
    guard_.blockShutdown();
    lblStatus2.setVisible(true);
    thline.setVisible(false);
    tpline.setVisible(false);
    qoline.setVisible(false);
    std::vector<std::wstring> installed;
    for (auto [key, picture] :
         {std::pair{&kTeamharborKey, &imgTH}, {&kTeampostKey, &imgTP}, {&kOrganizerKey, &imgQO}}) {
        if (RegistryItemExists(*key)) {
            installed.push_back(*key);
        } else {
            picture->setVisible(false);
        }
    }
    suite_.FoundAtStart(std::move(installed));
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
    figures_.SuiteStopping();
    // Each request to a service takes WMI a while: the window answers between.
    StopService(std::wstring(suite::kTeamharborService));
    platform_.pumpMessages();
    StopService(std::wstring(suite::kMailServerService));
    for (int counter = 1; counter <= 3; ++counter) {
        lblStatus.setCaption(L"Stopping Services " + std::to_wstring(counter));
        anicompress();
        platform_.pumpMessages();
    }
    // A server still shutting down would be ended while it may write the database.
    if (const std::wstring why = stops_.AwaitServicesStopped(); !why.empty()) ending_.EndBeforeCompaction(why);
    // A program ended mid-write damages the database: each is asked to close
    // first, and only what still runs after the wait is ended.
    std::vector<std::wstring> programs(suite::kServerPrograms.begin(), suite::kServerPrograms.end());
    programs.insert(programs.end(), suite::kAdminPrograms.begin(), suite::kAdminPrograms.end());
    closes_.AskAndAwait(programs, dbPath);
    for (const std::wstring_view server : suite::kServerPrograms) KillProcess(std::wstring(server));
    anicompress();
    lblStatus.setCaption(L"Stopping Admin");
    for (const std::wstring_view admin : suite::kAdminPrograms) KillProcess(std::wstring(admin));
    for (int counter = 1; counter <= 3; ++counter) {
        lblStatus.setCaption(L"Stopping Admin " + std::to_wstring(counter));
        anicompress();
        platform_.pumpMessages();
    }
    if (RegistryItemExists(kOrganizerKey)) {
        lblStatus.setCaption(L"Stopping IIS");
        const auto iisStop = static_cast<std::uint32_t>(runexe(L"iisreset /stop", 2));
        stopped_.iisStopped(true);
        for (int counter = 1; counter <= 5; ++counter) {
            anicompress();
            platform_.pumpMessages();
            lblStatus.setCaption(L"Stopping IIS (Waiting..." + std::to_wstring(counter) + L")");
        }
        iis_.Await(iisStop, L"stop");
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
    // The grants are done: the servers may open the database again, and the
    // log is taken back from the users group the folder's grants gave it to.
    guard_.releaseDatabase();
    log_.restrictAccess();
    platform_.pumpMessages();
    anicompress();
    platform_.pumpMessages();

    lblStatus.setCaption(L"Starting Services...");
    restart_.StartSuite(true);
    platform_.pumpMessages();
    anicompress();
    iis_.AwaitStart();
    const std::wstring notBack = back_.NotBack();
    figures_.SuiteBack();

    prjProgress.setVisible(false);
    cmdClose.setEnabled(true);
    tmrSpin.setEnabled(false);
    cmdCompact.setVisible(true);
    cmdClose.setVisible(true);
    cmdClose.setCaption(L"Exit");
    cmdOpenDataFolder.setVisible(true);
    std::wstring complete = L"Compact and repair complete.\r\nThe old database has been backed up to: " + BackupPath_;
    const bool repaired = check_.LastVerdict() == CompactionCheck::Verdict::Repaired;
    if (!keptCopy_.empty()) {
        complete = L"The compacted copy lacked data, so it was not used. The database is unchanged under\r\n" +
                   txtDBPath.Caption() + L"\r\nThe compacted copy is kept as: " + keptCopy_;
    } else if (repaired) {
        complete += L"\r\nThe database could not be read before; the repaired database holds:" + check_.CopyTables();
    }
    // A log that could not be written is said once, here, after the run.
    std::wstring logNote = log_.failure().empty() ? std::wstring() : L"\r\n" + log_.failure();
    if (!grants_.warning().empty()) logNote = L"\r\n" + grants_.warning() + logNote;
    if (notBack.empty() && keptCopy_.empty()) {
        const int tickWidth = imgTick.Width();
        lblStatus.setWidth(lblStatus.Width() - tickWidth);
        lblStatus.setLeft(tickWidth + lblStatus.Left());
        imgTick.setVisible(true);
    }
    // No tick for a suite that is not all back: the text says which product.
    lblStatus.setCaption(complete + notBack + logNote);

    result_ = !notBack.empty() ? RunResult::NotAllBack : repaired ? RunResult::Repaired : RunResult::Finished;
    if (keptCopy_.empty()) backups_.trim(txtDBPath.Caption(), BackupPath_);
    if (!unattended_) {
        log_.write(L"Outcome: finished" +
                   std::wstring(!keptCopy_.empty() ? L", the compacted copy lacked data and was not used"
                                : repaired         ? L", the database was repaired"
                                                   : L"") +
                   std::wstring(notBack.empty() ? L"" : L", but not every product is running again") + L"; after " +
                   std::to_wstring(log_.elapsedMs()) + L" ms");
        ending_.CloseRun();
    }
    running_ = false;
}

}  // namespace car

#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/joined.h"
#include "app/safeguards/last_run.h"
#include "app/safeguards/swap_recovery.h"

namespace car {
namespace {

constexpr std::size_t kLogTailBytes = 1 << 20;

}  // namespace

// A run that was killed (Task Manager, a crash, a forced restart) leaves no
// outcome in its log and may have left the suite stopped: the next start
// finds it, puts the database back under its name if the kill came in the
// middle of the swap, says what is not running, and starts it again
// (unattended at once, with a person when asked); the engine's leftover copy
// goes, but only once the database stands under its name.
void frmCompactAndRepair::CheckLastRun() {
    const std::wstring dbPath = txtDBPath.Caption();
    if (checkOnly_ || dbPath.empty()) return;
    const std::wstring logPath = dbPath + L".log";
    const auto readLast = [&] {
        const std::optional<std::wstring> tail = platform_.readTextTail(logPath, kLogTailBytes);
        return tail ? LastRun::parse(*tail) : LastRun{};
    };
    const LastRun last = readLast();
    const bool nameEmpty = !last.finished && !last.swapBackup.empty() && !platform_.pathInfo(dbPath).exists;
    if (!last.interrupted && !nameEmpty) return;
    // A run in progress holds the machine's lock: its log has no outcome yet
    // because it is not over, and what it stopped is its own to start again.
    if (!guard_.lockMachine()) return;
    // What the log says has files renamed and programs started as SYSTEM:
    // only a log that no other account could have written is ground for it.
    if (platform_.othersMayWrite(logPath)) {
        const std::wstring text = L"The run log\r\n" + logPath +
                                  L"\r\nsays that the last run of Compact And Repair did not end, but accounts other "
                                  L"than SYSTEM and the administrators may write that file, so nothing was done on "
                                  L"its word. Look at the suite's services and at the database's name yourself.";
        guard_.release();  // nothing is held while a box waits
        if (unattended_) {
            platform_.reportEvent(EventKind::Warning, {text, L"", dbPath, L"", L"", L"", L"", L"", logPath});
        } else {
            platform_.showMessage(text);
        }
        return;
    }

    // A record of its own, with its outcome, so that the next start finds nothing more.
    log_.beginRecord(dbPath, GetHostName(), kRecoveryRecord);
    log_.write(L"The last run, started " + last.startedAt +
               (last.interrupted ? L", has no outcome: it was interrupted" +
                                       (last.lastStatus.empty() ? L"" : L" at \"" + last.lastStatus + L"\"")
                                 : std::wstring(L", ended in the middle of its swap")));
    SwapRecovery files(platform_, log_);
    const SwapRecovery::Result put = files.putBack(dbPath, last);
    if (put == SwapRecovery::Result::Lost) {
        // Nothing is started without a database: a suite that makes a new
        // one would part the data from the backup.
        EndProgram(kExitError, L"interrupted run found, the database could not be put back; nothing was started",
                   L"The last run of Compact And Repair, started " + last.startedAt +
                       L", did not end, and nothing stands under the database's name\r\n" + dbPath +
                       L"\r\nIt could not be put back: " + files.failure() +
                       L".\r\n\r\nNothing was started. Put the database back under its name by hand (see the run log " +
                       logPath + L"), then start this program again.");
    }
    const std::wstring putBackText =
        put == SwapRecovery::Result::PutBack ? L"The database has been put back under its name.\r\n\r\n" : L"";
    files.removeLeftoverCopy(dbPath, last);

    // The servers by how they are installed, IIS for the Organizer, and the
    // dependent services the run stopped through the service control manager.
    std::vector<SuiteState::Product> down;
    std::vector<std::wstring> dependents;
    std::vector<std::wstring> downNames;
    const auto lookAgain = [&] {
        down.clear();
        dependents.clear();
        downNames.clear();
        for (SuiteState::Product& product : suite_.Now()) {
            if (!product.installed || product.runs) continue;
            downNames.push_back(product.name);
            down.push_back(std::move(product));
        }
        for (const std::wstring& dependent : last.dependents) {
            try {
                if (suite_.ServiceRunsOrStarts(dependent)) continue;
            } catch (const Error&) {
            }
            dependents.push_back(dependent);
            downNames.push_back(L"the service " + dependent);
        }
    };
    lookAgain();
    if (downNames.empty()) {
        log_.write(L"Outcome: interrupted run found, nothing to start; after " + std::to_wstring(log_.elapsedMs()) +
                   L" ms");
        EndRun();
        return;
    }
    log_.write(L"Not running now: " + JoinedWithAnd(downNames));
    if (!unattended_) {
        // The question waits for a person: the machine and the folder are let
        // go meanwhile, and this record stays open, so that a start after a
        // kill now asks again.
        log_.write(L"Asking whether to start them again");
        EndRun();
        const bool start = platform_.askYesNo(
            putBackText + L"The last run of Compact And Repair, started " + last.startedAt + L", did not end" +
                (last.lastStatus.empty() ? std::wstring(L".")
                                         : L": its last status was \"" + last.lastStatus + L"\".") +
                L"\r\n\r\nNot running now: " + JoinedWithAnd(downNames) + L".\r\n\r\nStart " +
                (downNames.size() == 1 ? L"it" : L"them") + L" again now?",
            false);
        // Taken again, and looked at afresh: another run may have come and
        // gone meanwhile.
        if (!guard_.lockMachine() || readLast().startedAt != last.startedAt) return;
        log_.beginRecord(dbPath, GetHostName(), kRecoveryRecord);
        if (!start) {
            log_.write(L"Answer: No, leave everything as it is");
            log_.write(L"Outcome: interrupted run found, left as it was; after " + std::to_wstring(log_.elapsedMs()) +
                       L" ms");
            EndRun();
            return;
        }
        log_.write(L"Answer: Yes, start them again");
        lookAgain();
    }
    for (const SuiteState::Product& product : down) restart_.Start(product.id);
    // Started, and looked at, as after a run.
    for (const std::wstring& dependent : dependents) stopped_.dependentStopped(dependent);
    restart_.StartDependents();
    // The wait for IIS speaks through the status; the window shows Ready after it.
    const std::wstring ready = lblStatus.Caption();
    iis_.AwaitStart();
    lblStatus.setCaption(ready);
    const std::wstring notBack = back_.NotBack();
    back_.Clear();
    log_.write(L"Outcome: interrupted run found, " +
               (notBack.empty() ? std::wstring(L"started again") : L"started again, but not all:" + notBack) +
               L"; after " + std::to_wstring(log_.elapsedMs()) + L" ms");
    EndRun();
}

}  // namespace car

#include "app/safeguards/interrupted_run.h"

#include <optional>
#include <string>
#include <vector>

#include "app/joined.h"
#include "app/safeguards/last_run.h"
#include "app/safeguards/swap_recovery.h"

namespace car {
namespace {

constexpr std::size_t kLogTailBytes = 1 << 20;

}  // namespace

// Only the record that administrators alone may write: the log beside the
// database, in a folder every user may write, is no ground for renaming files
// and starting programs as SYSTEM.
LastRun InterruptedRun::ReadLast(const std::wstring& dbPath) {
    const std::wstring recordPath = shared_.log.records().PathFor(dbPath);
    if (recordPath.empty()) return {};
    const std::optional<std::wstring> tail = platform_.readTextTail(recordPath, kLogTailBytes);
    return tail ? LastRun::parse(*tail) : LastRun{};
}

void InterruptedRun::LookAgain(const LastRun& last) {
    down_.clear();
    dependents_.clear();
    downNames_.clear();
    // The servers by how they are installed, IIS for the Organizer, and the
    // dependent services the run stopped through the service control manager.
    for (SuiteState::Product& product : shared_.suite.Now()) {
        if (!product.installed || product.runs) continue;
        downNames_.push_back(product.name);
        down_.push_back(std::move(product));
    }
    for (const std::wstring& dependent : last.dependents) {
        try {
            if (shared_.suite.ServiceRunsOrStarts(dependent)) continue;
        } catch (const Error&) {
        }
        dependents_.push_back(dependent);
        downNames_.push_back(L"the service " + dependent);
    }
}

// A record of its own, with its outcome, so that the next start finds nothing more.
void InterruptedRun::EndRecord(const std::wstring& outcome) {
    shared_.log.write(L"Outcome: " + outcome + L"; after " + std::to_wstring(shared_.log.elapsedMs()) + L" ms");
    shared_.log.end();
    shared_.guard.release();
}

std::optional<InterruptedRun::Lost> InterruptedRun::Find(const std::wstring& dbPath, bool unattended) {
    allBack_ = true;
    RunLog& log = shared_.log;
    const std::wstring logPath = dbPath + L".log";
    const LastRun last = ReadLast(dbPath);
    const bool nameEmpty = !last.finished && !last.swapBackup.empty() && !platform_.pathInfo(dbPath).exists;
    if (!last.interrupted && !nameEmpty) return {};
    // A run in progress holds the machine's lock: its log has no outcome yet
    // because it is not over, and what it stopped is its own to start again.
    if (!shared_.guard.lockMachine()) return {};
    log.beginRecord(dbPath, window_.hostName(), kRecoveryRecord);
    log.write(L"The last run, started " + last.startedAt +
              (last.interrupted ? L", has no outcome: it was interrupted" +
                                      (last.lastStatus.empty() ? L"" : L" at \"" + last.lastStatus + L"\"")
                                : std::wstring(L", ended in the middle of its swap")));
    SwapRecovery files(platform_, log);
    const SwapRecovery::Result put = files.putBack(dbPath, last);
    if (put == SwapRecovery::Result::Lost) {
        // Nothing is started without a database: a suite that makes a new
        // one would part the data from the backup.
        return Lost{L"interrupted run found, the database could not be put back; nothing was started",
                    L"The last run of Compact And Repair, started " + last.startedAt +
                        L", did not end, and nothing stands under the database's name\r\n" + dbPath +
                        L"\r\nIt could not be put back: " + files.failure() +
                        L".\r\n\r\nNothing was started. Put the database back under its name by hand (see the run "
                        L"log " +
                        logPath + L"), then start this program again."};
    }
    const std::wstring putBackText =
        put == SwapRecovery::Result::PutBack ? L"The database has been put back under its name.\r\n\r\n" : L"";
    files.removeLeftoverCopy(dbPath, last);

    LookAgain(last);
    if (downNames_.empty()) {
        EndRecord(L"interrupted run found, nothing to start");
        return {};
    }
    log.write(L"Not running now: " + JoinedWithAnd(downNames_));
    if (!unattended) {
        // The question waits for a person: the machine and the folder are let
        // go meanwhile, and this record stays open, so that a start after a
        // kill now asks again.
        log.write(L"Asking whether to start them again");
        log.end();
        shared_.guard.release();
        const bool start =
            Platform::Answer::Yes ==
            platform_.askYesNo(putBackText + L"The last run of Compact And Repair, started " + last.startedAt +
                                   L", did not end" +
                                   (last.lastStatus.empty() ? std::wstring(L".")
                                                            : L": its last status was \"" + last.lastStatus + L"\".") +
                                   L"\r\n\r\nNot running now: " + JoinedWithAnd(downNames_) + L".\r\n\r\nStart " +
                                   (downNames_.size() == 1 ? L"it" : L"them") + L" again now?",
                               false, 0);
        // Taken again, and looked at afresh: another run may have come and
        // gone meanwhile.
        if (!shared_.guard.lockMachine() || ReadLast(dbPath).startedAt != last.startedAt) return {};
        log.beginRecord(dbPath, window_.hostName(), kRecoveryRecord);
        if (!start) {
            log.write(L"Answer: No, leave everything as it is");
            EndRecord(L"interrupted run found, left as it was");
            allBack_ = false;
            return {};
        }
        log.write(L"Answer: Yes, start them again");
        LookAgain(last);
    }
    for (const SuiteState::Product& product : down_) shared_.restart.Start(product.id);
    // Started, and looked at, as after a run.
    for (const std::wstring& dependent : dependents_) shared_.stopped.dependentStopped(dependent);
    shared_.restart.StartDependents();
    window_.awaitIis();
    const std::wstring notBack = shared_.back.NotBack();
    shared_.back.Clear();
    if (notBack.empty()) {
        EndRecord(L"interrupted run found, started again");
        return {};
    }
    // No outcome: the next start finds the interruption still open and tries again.
    allBack_ = false;
    log.write(L"Started again, but not all:" + notBack + L"; the next start looks again");
    log.end();
    shared_.guard.release();
    return {};
}

}  // namespace car

#include "app/safeguards/run_ending.h"

#include <exception>
#include <string>

namespace car {

void RunEnding::End(int exitCode, const std::wstring& outcome, const std::wstring& message) {
    // A request whose answer never came may not have gone through: what
    // runs now is not said to be stopped, nor started again.
    shared_.stopped.forgetRunning(platform_);
    bool startedAgain = false;
    const auto withStopped = [&] {
        const std::wstring stopped = shared_.stopped.describe();
        return message + (startedAgain ? L"\r\n\r\nThe suite has been started again." : L"") +
               (stopped.empty() ? L"" : L"\r\n\r\n" + stopped);
    };
    RunLog& log = shared_.log;
    if (!message.empty()) log.write(L"Message: " + withStopped());
    if ((unattended_ || startAgain_) && exitCode != kExitLeft && !shared_.stopped.empty()) {
        // A server started without its database would make a new, empty one.
        const std::wstring database = window_.database();
        if (!database.empty() && !platform_.pathInfo(database).exists) {
            log.write(L"Nothing is started again: nothing stands under the database's name " + database);
        } else {
            shared_.restart.AfterFailure();
            startedAgain = true;
        }
    }
    if (log.active()) {
        log.write(L"Outcome: " + outcome + L"; exit code " + std::to_wstring(exitCode) + L"; after " +
                  std::to_wstring(log.elapsedMs()) + L" ms");
    }
    // A log that could not take even its outcome line is said by the exit code.
    if (exitCode == kExitLeft && unattended_ && !checkOnly_ && !log.failure().empty()) exitCode = kExitLogNotWritten;
    if (unattended_ && !checkOnly_) {
        shared_.figures.ReportEvent(outcome, exitCode, window_.database(), window_.backup(),
                                    shared_.check.VerdictWord());
    }
    CloseRun();
    if (!message.empty() && !unattended_) platform_.showMessage(withStopped());
    platform_.endProgram(exitCode);
    std::terminate();  // not reached: the compiler cannot see through the virtual call
}

void RunEnding::EndBeforeCompaction(const std::wstring& why) {
    startAgain_ = true;
    End(kExitServiceNotStopped, L"a service did not stop; the run ended before the compaction",
        why +
            L"\r\n\r\nThe run ended before any program was ended and before the compaction: the database is "
            L"unchanged, and what this run stopped is started again. Find out why the service does not "
            L"stop, then run again.");
}

void RunEnding::CloseRun() {
    shared_.log.end();
    shared_.guard.release();
}

}  // namespace car

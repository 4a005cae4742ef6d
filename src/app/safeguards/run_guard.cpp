#include "app/safeguards/run_guard.h"

#include <utility>

namespace car {
namespace {

// In a namespace that only the administrators group can make, so that no
// other account can take or hold its name; where the system has none, in the
// global namespace, so that runs in every session see it.
constexpr wchar_t kLockName[] = L"Compact And Repair run";
constexpr wchar_t kGlobalLockName[] = L"Global\\Compact And Repair run";

}  // namespace

bool RunGuard::lockMachine() {
    lockFailure_.clear();
    lockSquatter_.clear();
    if (lock_) return true;
    try {
        LockAttempt attempt = platform_.lockInAdministratorsNamespace(kLockName);
        if (attempt.outcome == LockAttempt::Outcome::Unsupported) attempt = platform_.lockMachineWide(kGlobalLockName);
        if (attempt.outcome == LockAttempt::Outcome::ForeignOwner) {
            lockSquatter_ =
                attempt.owner.empty() ? std::wstring(L"an account that shuts the administrators out") : attempt.owner;
            lockFailure_ = L"the name " + std::wstring(kGlobalLockName) + L" is held by " + lockSquatter_ +
                           L", neither SYSTEM nor an administrator";
        }
        lock_ = std::move(attempt.lock);
    } catch (const Error& error) {
        lockFailure_ = errorSummary(error);
    }
    return lock_ != nullptr;
}

ReparseKind RunGuard::holdFolder(const std::wstring& folder) {
    folder_.reset();
    if (folder.empty()) return ReparseKind::None;
    folder_ = platform_.holdFolder(folder);
    const ReparseKind kind = folder_->reparseKind();
    if (kind != ReparseKind::None && kind != ReparseKind::VolumeMountPoint) folder_.reset();
    return kind;
}

std::wstring RunGuard::lockForRun(RunLog& log, const std::wstring& dbPath) {
    if (lockMachine()) return {};
    const std::wstring why = lockFailure_.empty() ? L"another run of Compact And Repair is in progress on this server"
                             : !lockSquatter_.empty() ? L"the run's lock could not be taken: " + lockFailure_
                                                      : L"the run's lock could not be taken (" + lockFailure_ + L")";
    if (!dbPath.empty()) {
        log.writeOneLine(dbPath + L".log", L"Refused (pid " + std::to_wstring(platform_.ownProcessId()) + L"): " + why +
                                               L"; nothing was stopped");
    }
    if (lockFailure_.empty()) {
        return L"Another run of Compact And Repair is in progress on this server, and only one run at a time may "
               L"stop the suite and compact its database. Wait until that run has ended, then press \"Compact and "
               L"Repair Database\" again.\r\n\r\nNothing was stopped.";
    }
    if (!lockSquatter_.empty()) {
        return L"The lock that keeps runs of Compact And Repair apart (" + std::wstring(kGlobalLockName) +
               L") is held by " + lockSquatter_ +
               L", an account that is neither SYSTEM nor an administrator, so no run may stop the suite now. End "
               L"that account's programs or sign it out (or restart the server), then press \"Compact and Repair "
               L"Database\" again.\r\n\r\nNothing was stopped.";
    }
    return L"The lock that keeps runs of Compact And Repair apart could not be taken (" + lockFailure_ +
           L"), so no run may stop the suite now. Start this program again; if this stays, restart the server."
           L"\r\n\r\nNothing was stopped.";
}

void RunGuard::blockShutdown() {
    platform_.setShutdownBlock(L"Compacting the suite's database; the suite is stopped");
    shutdownBlocked_ = true;
}

void RunGuard::release() {
    if (std::exchange(shutdownBlocked_, false)) platform_.setShutdownBlock(L"");
    database_.reset();
    folder_.reset();
    lock_.reset();
}

}  // namespace car

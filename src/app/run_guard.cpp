#include "app/run_guard.h"

#include <utility>

namespace car {
namespace {

// In the global namespace, so that runs in every session see it.
constexpr wchar_t kLockName[] = L"Global\\Compact And Repair run";

}  // namespace

bool RunGuard::lockMachine() {
    lockFailure_.clear();
    if (lock_) return true;
    try {
        lock_ = platform_.lockMachineWide(kLockName);
    } catch (const Error& error) {
        lockFailure_ = errorSummary(error);
    }
    return lock_ != nullptr;
}

bool RunGuard::holdFolder(const std::wstring& folder) {
    folder_.reset();
    if (folder.empty()) return true;
    folder_ = platform_.holdFolder(folder);
    if (!folder_->isReparsePoint()) return true;
    folder_.reset();
    return false;
}

std::wstring RunGuard::lockForRun(RunLog& log, const std::wstring& dbPath) {
    if (lockMachine()) return {};
    const std::wstring why = lockFailure_.empty() ? L"another run of Compact And Repair is in progress on this server"
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
    folder_.reset();
    lock_.reset();
}

}  // namespace car

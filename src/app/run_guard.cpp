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

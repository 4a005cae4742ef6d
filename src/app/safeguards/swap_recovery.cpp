#include "app/safeguards/swap_recovery.h"

#include "app/safeguards/temp_names.h"

namespace car {
namespace {

constexpr int kAttempts = 60;
constexpr std::uint32_t kRetryMs = 500;  // 30 seconds in all, as the swap itself

}  // namespace

// Tried again while a scanner has one of the files for a moment.
bool SwapRecovery::renamed(const std::wstring& from, const std::wstring& to) {
    for (int attempt = 1;; ++attempt) {
        try {
            platform_.moveFile(from, to);
            log_.write(L"Renamed " + from + L" to " + to);
            return true;
        } catch (const Error& error) {
            if (!IsMomentary(error) || attempt == kAttempts) {
                failure_ = L"the rename of " + from + L" to " + to + L" failed (" + errorSummary(error) + L")";
                log_.write(L"The " + failure_.substr(4));
                return false;
            }
        }
        platform_.sleep(kRetryMs);
    }
}

SwapRecovery::Result SwapRecovery::putBack(const std::wstring& dbPath, const LastRun& last) {
    failure_.clear();
    if (platform_.pathInfo(dbPath).exists) return Result::InPlace;
    log_.write(L"Nothing stands under the database's name " + dbPath);
    // Only names of the run's own form, logged as its swap began, are ever
    // taken for the database: the old database first, else the engine's
    // finished copy.
    const bool swapBegan = !last.finished && !last.swapBackup.empty();
    if (swapBegan && IsRunFileOf(last.swapBackup, dbPath, L".tmpBackup") &&
        platform_.pathInfo(last.swapBackup).exists) {
        return renamed(last.swapBackup, dbPath) ? Result::PutBack : Result::Lost;
    }
    if (swapBegan && IsRunFileOf(last.swapCopy, dbPath, L".tmp") && platform_.pathInfo(last.swapCopy).exists) {
        return renamed(last.swapCopy, dbPath) ? Result::PutBack : Result::Lost;
    }
    failure_ = swapBegan ? L"neither the old database " + last.swapBackup + L" nor the compacted copy " +
                               last.swapCopy + L" exists"
                         : std::wstring(L"the last run named no backup of it");
    log_.write(L"The database cannot be put back: " + failure_);
    return Result::Lost;
}

void SwapRecovery::removeLeftoverCopy(const std::wstring& dbPath, const LastRun& last) {
    if (last.copy.empty() || !IsRunFileOf(last.copy, dbPath, L".tmp") || !platform_.pathInfo(last.copy).exists) return;
    if (!platform_.pathInfo(dbPath).exists) return;  // never while the database's name is empty
    try {
        platform_.deleteFile(last.copy);
        log_.write(L"Removed the engine's leftover copy " + last.copy);
    } catch (const Error& error) {
        log_.write(L"The engine's leftover copy " + last.copy + L" could not be removed (" + errorSummary(error) +
                   L")");
    }
}

}  // namespace car

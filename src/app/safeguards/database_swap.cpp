#include "app/safeguards/database_swap.h"

#include "app/safeguards/compacted_copy.h"
#include "app/safeguards/last_run.h"
#include "app/safeguards/swap_recovery.h"

namespace car {
namespace {

constexpr int kMostStepsForAScanner = 60;  // progress steps of half a second: 30 seconds

}  // namespace

void DatabaseSwap::Retried(const std::function<void()>& attempt) {
    for (int tries = 0;; ++tries) {
        try {
            attempt();
            return;
        } catch (const Error& error) {
            if (!IsMomentary(error) || tries == kMostStepsForAScanner) throw;
        }
        steps_.step();
    }
}

bool DatabaseSwap::Swap(const std::wstring& dbPath, const std::wstring& compactedPath, const std::wstring& backupPath) {
    steps_.step();
    // Both names before either changes, so that a start after a kill in the
    // middle of the swap can put the database back.
    log_.write(kSwapCopyLine + compactedPath);
    log_.write(kSwapBackupLine + backupPath);
    steps_.status(L"Compact complete. Renaming old Database");
    CompactedCopy held(platform_, log_, [this](const std::function<void()>& attempt) { Retried(attempt); });
    wrong_ = held.take(compactedPath, dbPath);
    if (!wrong_.empty()) return false;
    HeldFile& copy = held.file();
    backupPath_ = backupPath;
    bool linked = true;
    try {
        Retried([&] { platform_.createHardLink(dbPath, backupPath_); });
    } catch (const Error& error) {
        if (error.number != kNoHardLinksHr && error.number != kNotSupportedHr) throw;
        linked = false;
        Retried([&] { platform_.moveFile(dbPath, backupPath_); });
        renaming_ = true;  // only now has the database left its name
    }

    steps_.step();
    steps_.status(L"Putting compacted database in place");
    if (linked) {
        try {
            Retried([&] { copy.rename(dbPath, true); });
        } catch (const Error& error) {
            // The old database never left its name; only the backup name goes.
            std::wstring text = error.description + L"\r\nThe old database is still in place under " + dbPath +
                                L"; the compacted copy is left as " + compactedPath + L".";
            try {
                platform_.deleteFile(backupPath_);
            } catch (const Error& removal) {
                text += L" The backup name " + backupPath_ + L" could not be removed (" + removal.description +
                        L"); it is a second name of the old database.";
            }
            backupPath_.clear();
            throw Error{error.number, text};
        }
    } else {
        try {
            Retried([&] { copy.rename(dbPath, false); });
        } catch (const Error& error) {
            // Never leave the database path empty: put the old database back first.
            try {
                Retried([&] { platform_.moveFile(backupPath_, dbPath); });
            } catch (const Error& rollback) {
                throw Error{error.number, error.description + L"\r\nThe old database could not be put back (" +
                                              rollback.description + L"). The old database is " + backupPath_ +
                                              L" and the compacted copy is " + compactedPath + L"."};
            }
            backupPath_.clear();
            renaming_ = false;
            throw Error{error.number, error.description + L"\r\nThe old database was put back under " + dbPath +
                                          L"; the compacted copy is left as " + compactedPath + L"."};
        }
    }
    // Held on through the grants, so that nothing else can take its name meanwhile.
    guard_.holdDatabase(held.release());
    return true;
}

}  // namespace car

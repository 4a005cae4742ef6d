#include <string>

#include "app/frmCompactAndRepair.h"
#include "app/safeguards/compacted_copy.h"
#include "app/safeguards/last_run.h"
#include "app/safeguards/swap_recovery.h"

namespace car {
namespace {

constexpr int kMostStepsForAScanner = 60;  // progress steps of half a second: 30 seconds

}  // namespace

// A rename or a second name refused for a moment is tried again in progress
// steps, the status unchanged, for up to 30 seconds; then it fails as it
// would have at once.
template <class Step>
void frmCompactAndRepair::Retried(const Step& step) {
    for (int attempt = 0;; ++attempt) {
        try {
            step();
            return;
        } catch (const Error& error) {
            if (!IsMomentary(error) || attempt == kMostStepsForAScanner) throw;
        }
        anicompress();
    }
}

// The old database takes its backup name and the compacted copy, held since
// the engine ended, takes the database's name through its hold. With hard
// links a complete database stands under the database's name at every
// instant: the old file gets its backup name as a second name, then one
// rename puts the compacted copy in its place. A volume without hard links
// gets two renames, and the old database is put back if the second one fails.
void frmCompactAndRepair::SwapInCompacted(const std::wstring& dbPath, const std::wstring& compactedPath,
                                          const std::wstring& backupPath) {
    anicompress();
    // Both names before either changes, so that a start after a kill in the
    // middle of the swap can put the database back.
    log_.write(kSwapCopyLine + compactedPath);
    log_.write(kSwapBackupLine + backupPath);
    lblStatus.setCaption(L"Compact complete. Renaming old Database");
    CompactedCopy held(platform_, log_, [this](const std::function<void()>& step) { Retried(step); });
    std::wstring wrong;
    try {
        wrong = held.take(compactedPath, dbPath);
    } catch (const Error&) {
        // Nothing was renamed: the suite can have its database back as it was.
        startAgainOnFailure_ = true;
        throw;
    }
    if (!wrong.empty()) {
        startAgainOnFailure_ = true;
        EndWithError(Error{kAccessDeniedHr, wrong}, kExitError, L"the compacted copy was not the engine's file");
    }
    HeldFile& copy = held.file();
    BackupPath_ = backupPath;
    bool linked = true;
    try {
        Retried([&] { platform_.createHardLink(dbPath, BackupPath_); });
    } catch (const Error& error) {
        if (error.number != kNoHardLinksHr && error.number != kNotSupportedHr) throw;
        linked = false;
        Retried([&] { platform_.moveFile(dbPath, BackupPath_); });
    }

    anicompress();
    lblStatus.setCaption(L"Putting compacted database in place");
    if (linked) {
        try {
            Retried([&] { copy.rename(dbPath, true); });
        } catch (const Error& error) {
            // The old database never left its name; only the backup name goes.
            std::wstring text = error.description + L"\r\nThe old database is still in place under " + dbPath +
                                L"; the compacted copy is left as " + compactedPath + L".";
            try {
                platform_.deleteFile(BackupPath_);
            } catch (const Error& removal) {
                text += L" The backup name " + BackupPath_ + L" could not be removed (" + removal.description +
                        L"); it is a second name of the old database.";
            }
            BackupPath_.clear();
            throw Error{error.number, text};
        }
        // Held on through the grants, so that nothing else can take its name meanwhile.
        guard_.holdDatabase(held.release());
        return;
    }
    try {
        Retried([&] { copy.rename(dbPath, false); });
    } catch (const Error& error) {
        // Never leave the database path empty: put the old database back first.
        try {
            Retried([&] { platform_.moveFile(BackupPath_, dbPath); });
        } catch (const Error& rollback) {
            throw Error{error.number, error.description + L"\r\nThe old database could not be put back (" +
                                          rollback.description + L"). The old database is " + BackupPath_ +
                                          L" and the compacted copy is " + compactedPath + L"."};
        }
        BackupPath_.clear();
        throw Error{error.number, error.description + L"\r\nThe old database was put back under " + dbPath +
                                      L"; the compacted copy is left as " + compactedPath + L"."};
    }
    guard_.holdDatabase(held.release());
}

}  // namespace car

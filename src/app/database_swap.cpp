#include <string>

#include "app/frmCompactAndRepair.h"

namespace car {

// The old database takes its backup name and the compacted copy takes the
// database's name. With hard links a complete database stands under the
// database's name at every instant: the old file gets its backup name as a
// second name, then one rename puts the compacted copy in its place. A
// volume without hard links gets two renames, and the old database is put
// back if the second one fails.
void frmCompactAndRepair::SwapInCompacted(const std::wstring& dbPath, const std::wstring& compactedPath,
                                          const std::wstring& backupPath) {
    anicompress();
    BackupPath_ = backupPath;
    lblStatus.setCaption(L"Compact complete. Renaming old Database");
    bool linked = true;
    try {
        platform_.createHardLink(dbPath, BackupPath_);
    } catch (const Error& error) {
        if (error.number != kNoHardLinksHr && error.number != kNotSupportedHr) throw;
        linked = false;
        platform_.moveFile(dbPath, BackupPath_);
    }

    anicompress();
    lblStatus.setCaption(L"Putting compacted database in place");
    if (linked) {
        try {
            platform_.replaceFile(compactedPath, dbPath);
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
        return;
    }
    try {
        platform_.moveFile(compactedPath, dbPath);
    } catch (const Error& error) {
        // Never leave the database path empty: put the old database back first.
        try {
            platform_.moveFile(BackupPath_, dbPath);
        } catch (const Error& rollback) {
            throw Error{error.number, error.description + L"\r\nThe old database could not be put back (" +
                                          rollback.description + L"). The old database is " + BackupPath_ +
                                          L" and the compacted copy is " + compactedPath + L"."};
        }
        BackupPath_.clear();
        throw Error{error.number, error.description + L"\r\nThe old database was put back under " + dbPath +
                                      L"; the compacted copy is left as " + compactedPath + L"."};
    }
}

}  // namespace car

#include "app/safeguards/compacted_copy.h"

#include "app/safeguards/reparse_words.h"

namespace car {
namespace {

// What makes the held copy something other than the file the engine wrote.
std::wstring WhatIsWrong(const HeldFile& copy, const HeldFile& database) {
    if (copy.isReparsePoint()) return ReparseWords(copy.reparseKind());
    if (copy.isFolder()) return L"a folder";
    if (copy.nameCount() != 1) {
        return L"a file with " + std::to_wstring(copy.nameCount()) +
               L" names (another name, a hard link, stands "
               L"elsewhere)";
    }
    if (copy.volume() != database.volume()) return L"a file on another volume than the database";
    return {};
}

}  // namespace

std::wstring CompactedCopy::take(const std::wstring& copyPath, const std::wstring& dbPath) {
    retried_([&] { copy_ = platform_.holdFile(copyPath); });
    std::vector<std::uint8_t> security;
    std::wstring wrong;
    std::wstring securityFailure;
    {
        // The old database is looked at through a hold of its own, let go
        // before the swap renames it.
        std::unique_ptr<HeldFile> database;
        retried_([&] { database = platform_.holdFile(dbPath); });
        wrong = WhatIsWrong(*copy_, *database);
        try {
            if (wrong.empty()) security = database->ownerAndAccessList();
        } catch (const Error& error) {
            securityFailure = errorSummary(error);
        }
    }
    if (!wrong.empty()) {
        copy_.reset();
        log_.write(L"The compacted copy " + copyPath + L" is " + wrong + L"; it was left as it is");
        return L"Where the JET engine wrote the compacted copy of the database,\r\n" + copyPath + L"\r\nthere is now " +
               wrong +
               L", not the plain file the engine writes: another program or account has put it there. The "
               L"database was not replaced; it is unchanged under\r\n" +
               dbPath;
    }
    // The copy keeps what the old file had: an account with rights on the
    // file alone keeps them. The grants follow as ever. Without the restore
    // privilege an administrator may make only himself or the administrators
    // group the owner.
    try {
        const std::unique_ptr<Held> restore = platform_.enablePrivilege(Privilege::Restore);
        if (securityFailure.empty()) copy_->giveOwnerAndAccessList(security);
    } catch (const Error& error) {
        securityFailure = errorSummary(error);
    }
    if (!securityFailure.empty()) {
        log_.write(L"The old database's owner or access list could not be given to the compacted copy (" +
                   securityFailure + L")");
    }
    // A rename written through writes the names, not the file's data:
    // without this a power loss right after the swap could leave a partly
    // written file under the database's name.
    retried_([&] { copy_->flush(); });
    return {};
}

}  // namespace car

#include "app/safeguards/checks_before_run.h"

#include <string>

#include "app/path_only.h"
#include "app/safeguards/reparse_words.h"
#include "app/safeguards/temp_names.h"
#include "app/suite.h"

namespace car {
namespace {

constexpr wchar_t kPressAgain[] = L"then press \"Compact and Repair Database\" again.";
constexpr wchar_t kStartAgain[] = L"then start this program again.";
constexpr wchar_t kNothingStopped[] = L"\r\n\r\nNothing was stopped.";

// Free space rounded down and the need rounded up, so that the two never
// read the same when one is short of the other.
constexpr std::uint64_t kMegabyte = 1024 * 1024;
std::wstring MegabytesDown(std::uint64_t bytes) { return std::to_wstring(bytes / kMegabyte) + L" MB"; }
std::wstring MegabytesUp(std::uint64_t bytes) { return std::to_wstring((bytes + kMegabyte - 1) / kMegabyte) + L" MB"; }

}  // namespace

std::wstring ChecksBeforeRun::Check(const std::wstring& dbPath) {
    const std::wstring dataSource = L"the DBQ value of the data source QuorvinCollaborationSuite";
    if (dbPath.find(L'"') != std::wstring::npos) {
        return L"The database path\r\n" + dbPath +
               L"\r\nholds a double quote (\"), which no Windows file name can hold. Correct " + dataSource + L", " +
               kStartAgain + kNothingStopped;
    }
    // The engine's connection string would end the path at the semicolon.
    if (dbPath.find(L';') != std::wstring::npos) {
        return L"The database path\r\n" + dbPath +
               L"\r\nholds a semicolon (;), which the JET engine cannot be given. Move the database to a folder "
               L"whose path has none and correct " +
               dataSource + L", " + kStartAgain + kNothingStopped;
    }
    const PathInfo database = platform_.pathInfo(dbPath);
    if (dbPath.empty() || !database.exists) {
        return L"The database file\r\n" + dbPath + L"\r\ndoes not exist. Put the database back under this name, " +
               L"or correct " + dataSource + L" and start this program again; " + kPressAgain + kNothingStopped;
    }
    if (database.isFolder) {
        return L"The database path\r\n" + dbPath + L"\r\nnames a folder, not a database file. Correct " + dataSource +
               L", " + kStartAgain + kNothingStopped;
    }

    // Every user may write in the data folder: a link there could make the
    // run grant rights on, and start programs from, a place of someone
    // else's choosing.
    const std::wstring folder = PathOnly(dbPath);
    const std::wstring where = folder.empty() ? std::wstring(L"the current folder") : folder;
    const std::wstring noLinks = L"The run follows no links in a folder that every user may write. Correct " +
                                 dataSource + L" to name the database where it really is, " + kStartAgain +
                                 kNothingStopped;
    if (database.reparsePoint) {
        return L"The database path\r\n" + dbPath + L"\r\nis a symbolic link or another reparse point. " + noLinks;
    }
    try {
        // A data volume mounted into a folder is an ordinary layout; a junction
        // or a link to another folder is not.
        const ReparseKind kind = shared_.guard.holdFolder(folder);
        if (kind == ReparseKind::VolumeMountPoint) {
            shared_.log.write(L"The database's folder " + where + L" is a volume mount point");
        } else if (kind != ReparseKind::None) {
            return L"The database's folder\r\n" + where + L"\r\nis " + ReparseWords(kind) + L". " + noLinks;
        }
    } catch (const Error& error) {
        return L"The database's folder\r\n" + where + L"\r\ncannot be held open for the run (" + errorSummary(error) +
               L"). Make sure that no other program is moving it, " + kPressAgain + kNothingStopped;
    }
    try {
        const std::uint64_t free = platform_.freeSpace(folder);
        if (free < database.size) {
            return L"The drive of\r\n" + where + L"\r\nhas " + MegabytesDown(free) +
                   L" free, but the compacted copy of the database needs up to " + MegabytesUp(database.size) +
                   L" (the size of the database). Free space on that drive, " + kPressAgain + kNothingStopped;
        }
    } catch (const Error& error) {
        return L"The free space on the drive of\r\n" + where + L"\r\ncannot be read (" + errorSummary(error) +
               L"). Make sure the folder can be reached, " + kPressAgain + kNothingStopped;
    }

    bool suffixFree = false;
    for (int number = 0; number < TempNameDraw::kSuffixCount && !suffixFree; ++number) {
        suffixFree = !shared_.names.Taken(dbPath, TempNameDraw::SuffixOf(number));
    }
    if (!suffixFree) {
        return L"Every temporary name for the database is taken: " + dbPath + L".0.tmp to " + dbPath +
               L".899.tmp or their Backup names all exist in\r\n" + where +
               L"\r\nMove the old temporary and backup files out of that folder, " + kPressAgain + kNothingStopped;
    }

    // The run stops and starts IIS for the Organizer; without its tool it
    // would fail with the suite already stopped.
    if (shared_.suite.Installed(std::wstring(suite::kOrganizerKey))) {
        const std::wstring iisreset = shared_.programs.ProgramOf(L"iisreset").first;
        if (!platform_.pathInfo(iisreset).exists) {
            return L"The Quorvin Organizer is installed, so the run must stop and start IIS, but\r\n" + iisreset +
                   L"\r\ndoes not exist. Install IIS's management tools, or remove the Organizer's registry key if "
                   L"it is no longer installed; " +
                   kPressAgain + kNothingStopped;
        }
    }

    try {
        platform_.createJetEngine();  // released at once: only whether it can be made matters
    } catch (const Error& error) {
        return L"The JET engine (Jro.JetEngine) cannot be created on this machine (" + errorSummary(error) +
               L"). Install the Microsoft JET 4.0 OLE DB provider and the JET replication objects (32-bit), " +
               kPressAgain + kNothingStopped;
    }
    return {};
}

}  // namespace car

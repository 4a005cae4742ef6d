#include <string>

#include "app/frmCompactAndRepair.h"

namespace car {
namespace {

// Each grant is awaited before the next one starts, so that two edits of the
// same access list never overlap; one that hangs is left to run on.
constexpr std::uint32_t kGrantTimeoutMs = 60'000;
constexpr std::int32_t kInvalidArgumentHr = hresult(0x80070057u);  // E_INVALIDARG

// The path and the account stand between double quotes on the command line;
// a quote inside either would let it rewrite the command's arguments.
void RequireNoQuote(const std::wstring& text, const wchar_t* what) {
    if (text.find(L'"') != std::wstring::npos) {
        throw Error{kInvalidArgumentHr, std::wstring(what) + L" \"" + text +
                                            L"\" holds a double quote, which no Windows name can hold; no "
                                            L"permissions were changed."};
    }
}

bool IsDriveOrShareRoot(const std::wstring& folder) {
    if (folder.size() == 2 && folder[1] == L':') return true;  // "C:" is the drive's current folder, not its root
    if (!folder.starts_with(L"\\\\")) return false;
    // "\\server\share", or "\\?\C:" and the like
    const std::size_t server = folder.find(L'\\', 2);
    return server == std::wstring::npos || folder.find(L'\\', server + 1) == std::wstring::npos;
}

}  // namespace

// The folder whose whole tree the folder grants cover: the database's folder
// without doubled or trailing separators (a quoted argument ending in "\"
// would escape its closing quote). Empty when there is none to grant on:
// a path without a folder part, or a database in the root of a drive or a
// share, whose tree is far more than the suite's data.
std::wstring frmCompactAndRepair::DataFolderForGrants(const std::wstring& dbPath) {
    const std::wstring pathOnly = GetPathOnly(dbPath);
    std::wstring folder;
    for (std::size_t i = 0; i < pathOnly.size(); ++i) {
        const bool doubled = pathOnly[i] == L'\\' && !folder.empty() && folder.back() == L'\\' && i > 1;
        if (!doubled) folder += pathOnly[i];
    }
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder.empty() || IsDriveOrShareRoot(folder) ? std::wstring() : folder;
}

void frmCompactAndRepair::AwaitPreviousGrant() {
    if (lastGrantProcess_ == 0) return;
    const std::uint32_t process = lastGrantProcess_;
    lastGrantProcess_ = 0;
    std::optional<std::uint32_t> exitCode;
    const bool ended = platform_.awaitProcess(process, kGrantTimeoutMs, &exitCode);
    log_.writeProcessEnd(lastGrantCommand_, process, ended, exitCode);
}

void frmCompactAndRepair::DoCACLS(const std::wstring& file, const std::wstring& user, bool asfile) {
    RequireNoQuote(file, L"The path");
    RequireNoQuote(user, L"The account");
    const std::wstring commandLine =
        L"CACLS \"" + file + (asfile ? L"\" /E /G \"" : L"\" /E /T /C /G \"") + user + L"\":F";
    // The previous grant gets the progress step in between to finish, so
    // waiting here usually costs nothing.
    AwaitPreviousGrant();
    lastGrantProcess_ = programs_.Launch(commandLine, 0);
    lastGrantCommand_ = commandLine;
}

void frmCompactAndRepair::SetPermissions() {
    RequireNoQuote(txtDBPath.Caption(), L"The database path");
    int step = 0;
    const auto status = [&] {
        lblStatus.setCaption(L"Setting Permissions..." + (step == 0 ? std::wstring() : std::to_wstring(step)));
    };
    const auto next = [&] {
        ++step;
        status();
        anicompress();
    };

    status();
    DoCACLS(txtDBPath.Caption(), L"administrators", true);
    anicompress();
    DoCACLS(txtDBPath.Caption(), L"ASPNET", true);
    next();
    DoCACLS(txtDBPath.Caption(), L"IIS_WPG", true);
    next();
    DoCACLS(txtDBPath.Caption(), L"IWAM_" + GetHostName(), true);
    next();
    DoCACLS(txtDBPath.Caption(), L"IUSR_" + GetHostName(), true);
    next();
    DoCACLS(txtDBPath.Caption(), L"users", true);

    const std::wstring dataFolder = DataFolderForGrants(txtDBPath.Caption());
    if (!dataFolder.empty() && tree_.allowsRecursiveGrants(dataFolder)) {
        DoCACLS(dataFolder, L"administrators", false);
        next();
        DoCACLS(dataFolder, L"ASPNET", false);
        next();
        DoCACLS(dataFolder, L"IIS_WPG", false);
        next();
        DoCACLS(dataFolder, L"IWAM_" + GetHostName(), false);
        next();
        DoCACLS(dataFolder, L"IUSR_" + GetHostName(), false);
        next();
        DoCACLS(dataFolder, L"users", false);
    }
    AwaitPreviousGrant();
}

}  // namespace car

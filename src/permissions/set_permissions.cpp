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

}  // namespace

void frmCompactAndRepair::AwaitPreviousGrant() {
    if (lastGrantProcess_ == 0) return;
    const std::uint32_t process = lastGrantProcess_;
    lastGrantProcess_ = 0;
    platform_.awaitProcess(process, kGrantTimeoutMs);
}

void frmCompactAndRepair::DoCACLS(const std::wstring& file, const std::wstring& user, bool asfile) {
    RequireNoQuote(file, L"The path");
    RequireNoQuote(user, L"The account");
    const std::wstring commandLine =
        L"CACLS \"" + file + (asfile ? L"\" /E /G \"" : L"\" /E /T /C /G \"") + user + L"\":F";
    // The previous grant gets the progress step in between to finish, so
    // waiting here usually costs nothing.
    AwaitPreviousGrant();
    lastGrantProcess_ = platform_.launch(commandLine, 0);
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

    // A path without a folder part has no data folder to grant on; the run
    // goes on to restart the suite rather than end with it stopped.
    const std::wstring pathOnly = GetPathOnly(txtDBPath.Caption());
    if (!pathOnly.empty()) {
        const std::wstring dataFolder = pathOnly.substr(0, pathOnly.size() - 1);
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

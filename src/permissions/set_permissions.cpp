#include <string>

#include "app/frmCompactAndRepair.h"

namespace car {
namespace {

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

void frmCompactAndRepair::DoCACLS(const std::wstring& file, const std::wstring& user, bool asfile) {
    RequireNoQuote(file, L"The path");
    RequireNoQuote(user, L"The account");
    const std::wstring commandLine =
        L"CACLS \"" + file + (asfile ? L"\" /E /G \"" : L"\" /E /T /C /G \"") + user + L"\":F";
    // The previous grant gets the progress step in between to finish, so
    // waiting here usually costs nothing.
    grants_.Start(commandLine);
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

    const std::wstring dataFolder = GrantSequence::DataFolder(txtDBPath.Caption());
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
    grants_.AwaitLast();
}

}  // namespace car

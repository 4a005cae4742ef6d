// The program's own folder under %ProgramData%, where it keeps what only
// administrators may write. Any user may make folders in %ProgramData%, so one
// found there under this name may have been put there by anyone: it is held
// and checked through the hold before anything in it is trusted.
#include <windows.h>

#include <aclapi.h>
#include <knownfolders.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

#include <memory>
#include <string>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/accounts.h"
#include "platform/win32/system/trusted_accounts.h"
#include "platform/win32/system/win32_platform.h"
#include "platform/win32/system_library.h"

namespace car {
namespace {

constexpr wchar_t kFolderName[] = L"\\Compact And Repair";
// Owned by the administrators group; SYSTEM and the administrators full
// control, passed on to everything made inside; nothing from the parent.
constexpr wchar_t kAdministratorsOnly[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

struct CoTaskMemDeleter {
    void operator()(void* block) const noexcept { ::CoTaskMemFree(block); }
};

// The shell is loaded only here: a run without it starts sooner.
std::wstring programDataFolder() {
    const auto known = win32::systemFunction<decltype(::SHGetKnownFolderPath)>(L"shell32.dll", "SHGetKnownFolderPath");
    if (known == nullptr) win32::throwLastError(L"The folder for the program's data could not be found.");
    PWSTR raw = nullptr;
    const HRESULT hr = known(FOLDERID_ProgramData, 0, nullptr, &raw);
    const std::unique_ptr<wchar_t, CoTaskMemDeleter> owned(raw);
    if (FAILED(hr)) {
        Error error = win32::hresultError(hr);
        error.description = L"The folder for the program's data could not be found. " + error.description;
        throw error;
    }
    return raw;
}

void createAdministratorsFolder(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
        win32::throwLastErrorAbout(path);
    }
    const std::unique_ptr<void, win32::LocalFreeDeleter> owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    // One that exists is checked like one just made.
    if (!::CreateDirectoryW(path.c_str(), &attributes) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        win32::throwLastErrorAbout(path);
}

[[noreturn]] void refuse(const std::wstring& path, const std::wstring& why) {
    throw Error{kAccessDeniedHr, L"The folder " + path + L" cannot be trusted with the program's data: " + why};
}

// The folder's owner and who may write in it, read through the hold; a link
// or a file under its name is refused at once.
void readFolder(HANDLE folder, TrustedFolder& facts) {
    const std::wstring& path = facts.path;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(folder, &info)) win32::throwLastErrorAbout(path);
    // The name is asked too: where a system opens a link's target whatever it
    // is asked (Wine does so with a Unix link), only the name shows the link.
    const DWORD named = ::GetFileAttributesW(path.c_str());
    if (((info.dwFileAttributes | named) & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || named == INVALID_FILE_ATTRIBUTES)
        refuse(path, L"it is a junction or a link to another place.");
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) refuse(path, L"it is a file, not a folder.");
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result =
        ::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                          nullptr, &list, nullptr, &descriptor);
    if (result != ERROR_SUCCESS) throw win32::win32ErrorAbout(result, path);
    const std::unique_ptr<void, win32::LocalFreeDeleter> owned(descriptor);
    facts.owner = owner == nullptr ? std::wstring() : win32::sidText(owner);
    // No list at all lets everyone do everything.
    facts.writers =
        list == nullptr ? std::vector<std::wstring>{L"S-1-1-0"} : win32::TrustedAccounts::writers(list, true);
    facts.ownAccounts = win32::TrustedAccounts().own();
}

class HeldTrustedFolder final : public Held {
public:
    explicit HeldTrustedFolder(win32::UniqueHandle handle) : handle_(std::move(handle)) {}

private:
    win32::UniqueHandle handle_;
};

}  // namespace

// Held without delete sharing, so that it cannot be renamed away and another
// put in its place while it is used.
TrustedFolder Win32Platform::holdTrustedFolder() {
    const std::wstring path = programDataFolder() + kFolderName;
    createAdministratorsFolder(path);
    win32::UniqueHandle handle(::CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) win32::throwLastErrorAbout(path);
    TrustedFolder folder{path, nullptr, {}, {}, {}};
    readFolder(handle.get(), folder);
    folder.hold = std::make_unique<HeldTrustedFolder>(std::move(handle));
    return folder;
}

}  // namespace car

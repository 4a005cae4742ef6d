// Files and folders held by handle under their own names, never following a
// reparse point: the data folder for the length of a run, and each file and
// folder of its tree while the run grants on it. A folder is held without
// delete sharing, so that neither its own name nor the names inside it can
// change while it is held; others may still read and write inside it.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/grantable_path.h"
#include "platform/win32/system/win32_platform.h"

namespace car {
namespace {

constexpr DWORD kNotFollowed = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
constexpr DWORD kFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kAllSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// "D:\Data\" names the folder "D:\Data"; a drive's root keeps its backslash.
std::wstring withoutTrailingSeparator(std::wstring folder) {
    while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/') && folder[folder.size() - 2] != L':')
        folder.pop_back();
    return folder;
}

// A deep tree's names may be longer than the system takes in the usual
// form; the extended form is taken as it is.
std::wstring reachable(const std::wstring& path) {
    if (path.size() < MAX_PATH - 2 || path.starts_with(L"\\\\?\\")) return path;
    if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

// Opened with the rights to read and change the access list where that list
// grants them, and without them where it does not: the hold and the listing
// are had all the same, and only a grant through the handle is refused.
template <class Open>
win32::UniqueHandle withAccessListRights(DWORD access, Open open) {
    win32::UniqueHandle handle(open(access | READ_CONTROL | WRITE_DAC));
    if (!handle && ::GetLastError() == ERROR_ACCESS_DENIED) handle = win32::UniqueHandle(open(access));
    return handle;
}

using TreePath = win32::HandlePath<GrantablePath>;

}  // namespace

std::unique_ptr<GrantablePath> Win32Platform::holdFolder(const std::wstring& folder) {
    const std::wstring name = reachable(withoutTrailingSeparator(folder));
    win32::UniqueHandle handle = withAccessListRights(FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, [&](DWORD access) {
        return ::CreateFileW(name.c_str(), access, kFolderSharing, nullptr, OPEN_EXISTING, kNotFollowed, nullptr);
    });
    if (!handle) win32::throwLastErrorAbout(folder);
    return std::make_unique<TreePath>(std::move(handle), folder);
}

// Whether the name is a file or a folder is known only once it is open: it is
// opened shared in every way, as a file that another program holds with the
// right to delete it must be, and a folder is then opened again through that
// first handle (its name is not looked up twice) without delete sharing and
// with the right to list it.
std::unique_ptr<GrantablePath> Win32Platform::openInTree(const std::wstring& path) {
    const std::wstring name = reachable(withoutTrailingSeparator(path));
    win32::UniqueHandle handle = withAccessListRights(FILE_READ_ATTRIBUTES, [&](DWORD access) {
        return ::CreateFileW(name.c_str(), access, kAllSharing, nullptr, OPEN_EXISTING, kNotFollowed, nullptr);
    });
    if (!handle) win32::throwLastErrorAbout(path);
    if ((win32::informationOf(handle.get(), path).dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        win32::UniqueHandle folder = withAccessListRights(
            FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
            [&](DWORD access) { return ::ReOpenFile(handle.get(), access, kFolderSharing, kNotFollowed); });
        if (!folder) win32::throwLastErrorAbout(path);
        handle = std::move(folder);
    }
    return std::make_unique<TreePath>(std::move(handle), path);
}

}  // namespace car

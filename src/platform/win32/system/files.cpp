// Files: renames with the semantics and error numbers of the scripting
// runtime's file-system object (never replace, and the runtime's own numbers
// for the failures a caller may want to tell apart); the swap's second name
// and removal; what stands under a path, its long name, and the space free
// on a folder's volume.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/win32_platform.h"

namespace car {

void Win32Platform::moveFile(const std::wstring& from, const std::wstring& to) {
    if (::MoveFileExW(from.c_str(), to.c_str(), 0)) return;
    const DWORD code = ::GetLastError();
    switch (code) {
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            throw Error{hresult(0x800A003Au), L"File already exists"};
        case ERROR_FILE_NOT_FOUND:
            throw Error{hresult(0x800A0035u), L"File not found"};
        case ERROR_PATH_NOT_FOUND:
            throw Error{hresult(0x800A004Cu), L"Path not found"};
        default:
            throw win32::win32Error(code);
    }
}

std::vector<FolderEntry> Win32Platform::filesEndingIn(const std::wstring& folder, const std::wstring& ending) {
    struct FindCloser {
        void operator()(HANDLE find) const noexcept { ::FindClose(find); }
    };
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = folder + L"*" + ending;
    const std::unique_ptr<void, FindCloser> find(
        ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    std::vector<FolderEntry> entries;
    if (find.get() == INVALID_HANDLE_VALUE) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) return entries;
        win32::throwLastErrorAbout(folder);
    }
    do {
        if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) continue;
        const std::uint64_t written =
            (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
        entries.push_back({data.cFileName, written});
    } while (::FindNextFileW(find.get(), &data));
    return entries;
}

bool Win32Platform::pathExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

PathInfo Win32Platform::pathInfo(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {};
    PathInfo info;
    info.exists = true;
    info.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.reparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!info.isFolder) info.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return info;
}

std::uint64_t Win32Platform::freeSpace(const std::wstring& folder) {
    // The call takes a folder only with its trailing backslash; without a
    // folder it measures the current one.
    std::wstring root = folder;
    if (!root.empty() && root.back() != L'\\' && root.back() != L'/') root += L'\\';
    const std::wstring where = folder.empty() ? std::wstring(L"the current folder") : folder;
    ULARGE_INTEGER freeToCaller{};
    if (!::GetDiskFreeSpaceExW(root.empty() ? nullptr : root.c_str(), &freeToCaller, nullptr, nullptr)) {
        win32::throwLastErrorAbout(where);
    }
    return freeToCaller.QuadPart;
}

void Win32Platform::createHardLink(const std::wstring& existing, const std::wstring& newName) {
    if (!::CreateHardLinkW(newName.c_str(), existing.c_str(), nullptr)) {
        // FAT32, exFAT and some shares answer ERROR_INVALID_FUNCTION or
        // ERROR_NOT_SUPPORTED: the caller falls back on renames.
        win32::throwLastErrorAbout(newName);
    }
}

void Win32Platform::deleteFile(const std::wstring& path) {
    if (!::DeleteFileW(path.c_str())) throw win32::win32Error(::GetLastError());
}

std::wstring Win32Platform::longPathName(const std::wstring& path) {
    // Asked again when a name changed between the two calls and the first
    // answer no longer fits.
    DWORD size = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    for (int attempt = 0; attempt < 3 && size != 0; ++attempt) {
        std::wstring longPath(size, L'\0');
        const DWORD length = ::GetLongPathNameW(path.c_str(), longPath.data(), size);
        if (length < size) {
            longPath.resize(length);
            return length == 0 ? path : longPath;
        }
        size = length;
    }
    return path;
}

}  // namespace car

// Renames with the semantics and error numbers of the scripting runtime's
// file-system object: never replace, and the runtime's own numbers for the
// failures a caller may want to tell apart. And what stands under a path,
// and the space free on a folder's volume.
#include "platform/win32/error_text.h"
#include "platform/win32/win32_platform.h"

namespace car {

void Win32Platform::moveFile(const std::wstring& from, const std::wstring& to) {
    if (::MoveFileExW(from.c_str(), to.c_str(), 0)) return;
    const DWORD code = ::GetLastError();
    switch (code) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: throw Error{hresult(0x800A003Au), L"File already exists"};
    case ERROR_FILE_NOT_FOUND: throw Error{hresult(0x800A0035u), L"File not found"};
    case ERROR_PATH_NOT_FOUND: throw Error{hresult(0x800A004Cu), L"Path not found"};
    default: throw win32::win32Error(code);
    }
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
    if (!info.isFolder) info.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return info;
}

std::uint64_t Win32Platform::freeSpace(const std::wstring& folder) {
    // The call takes a folder only with its trailing backslash; without a
    // folder it measures the current one.
    std::wstring root = folder;
    if (!root.empty() && root.back() != L'\\' && root.back() != L'/') root += L'\\';
    ULARGE_INTEGER freeToCaller{};
    if (!::GetDiskFreeSpaceExW(root.empty() ? nullptr : root.c_str(), &freeToCaller, nullptr, nullptr)) {
        Error error = win32::win32Error(::GetLastError());
        error.description += L" (" + (folder.empty() ? std::wstring(L"the current folder") : folder) + L")";
        throw error;
    }
    return freeToCaller.QuadPart;
}

}  // namespace car

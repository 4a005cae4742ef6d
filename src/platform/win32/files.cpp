// Renames with the semantics and error numbers of the scripting runtime's
// file-system object: never replace, and the runtime's own numbers for the
// failures a caller may want to tell apart.
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

}  // namespace car

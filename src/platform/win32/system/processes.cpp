// Processes from the system's own list: a snapshot costs milliseconds and
// answers while WMI does not.
#include <windows.h>

#include <tlhelp32.h>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/win32_platform.h"

namespace car {

std::vector<std::uint32_t> Win32Platform::processesNamed(const std::wstring& fileName) {
    const win32::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) win32::throwLastError(L"The list of processes could not be read.");
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    std::vector<std::uint32_t> ids;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        // Ordinal, as the file system compares names, whatever the user's locale.
        if (::CompareStringOrdinal(entry.szExeFile, -1, fileName.c_str(), static_cast<int>(fileName.size()), TRUE) ==
            CSTR_EQUAL)
            ids.push_back(entry.th32ProcessID);
    }
    if (::GetLastError() != ERROR_NO_MORE_FILES) win32::throwLastError(L"The list of processes could not be read.");
    return ids;
}

// The limited query right is granted on nearly every process, another
// account's and a protected one's included.
std::wstring Win32Platform::processImage(std::uint32_t processId) {
    const win32::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return {};
    std::wstring image(32768, L'\0');
    auto size = static_cast<DWORD>(image.size());
    if (!::QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) return {};
    image.resize(size);
    return longPathName(image);
}

std::uint32_t Win32Platform::ownProcessId() { return ::GetCurrentProcessId(); }

}  // namespace car

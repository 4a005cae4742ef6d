#include "platform/win32/system/own_process.h"

#include <windows.h>

#include <shellapi.h>

#include <memory>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system_library.h"

namespace car::win32 {

std::wstring runningProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) throwLastError(L"The program's own path could not be read.");
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::optional<std::vector<std::wstring>> splitCommandLine(const wchar_t* line) {
    const auto split = systemFunction<decltype(::CommandLineToArgvW)>(L"shell32.dll", "CommandLineToArgvW");
    if (split == nullptr) return std::nullopt;
    int count = 0;
    const std::unique_ptr<LPWSTR, LocalFreeDeleter> words(split(line, &count));
    if (!words) return std::nullopt;
    return std::vector<std::wstring>(words.get(), words.get() + count);
}

void showNoSystemBoxes() { ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX); }

}  // namespace car::win32

// The Application event log, which the monitoring of Windows servers watches.
#include <memory>
#include <string>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/own_process.h"
#include "platform/win32/system/win32_platform.h"

namespace car {
namespace {

constexpr wchar_t kSource[] = L"Compact And Repair";
constexpr wchar_t kSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Compact And Repair";

// The source names the program's own file as its message file, so that Event
// Viewer shows each event's text rather than "the description cannot be
// found". Written again on each use: the program may have moved.
void registerSource() {
    win32::UniqueHkey key;
    LSTATUS status =
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) throw win32::win32Error(static_cast<DWORD>(status));
    const std::wstring program = win32::runningProgramPath();
    const auto bytes = static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t));
    status = ::RegSetValueExW(key.get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                              reinterpret_cast<const BYTE*>(program.c_str()), bytes);
    if (status != ERROR_SUCCESS) throw win32::win32Error(static_cast<DWORD>(status));
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    status = ::RegSetValueExW(key.get(), L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                              sizeof types);
    if (status != ERROR_SUCCESS) throw win32::win32Error(static_cast<DWORD>(status));
}

}  // namespace

void Win32Platform::reportEvent(EventKind kind, const std::vector<std::wstring>& fields) {
    registerSource();
    struct SourceCloser {
        void operator()(HANDLE source) const noexcept { ::DeregisterEventSource(source); }
    };
    const std::unique_ptr<void, SourceCloser> source(::RegisterEventSourceW(nullptr, kSource));
    if (!source) win32::throwLastError(L"The event log could not be opened.");
    const WORD type = kind == EventKind::Information ? EVENTLOG_INFORMATION_TYPE
                      : kind == EventKind::Warning   ? EVENTLOG_WARNING_TYPE
                                                     : EVENTLOG_ERROR_TYPE;
    std::vector<LPCWSTR> strings;
    for (const std::wstring& field : fields) strings.push_back(field.c_str());
    if (!::ReportEventW(source.get(), type, 0, static_cast<DWORD>(kind), nullptr, static_cast<WORD>(strings.size()), 0,
                        strings.data(), nullptr)) {
        win32::throwLastError(L"The event could not be written.");
    }
}

}  // namespace car

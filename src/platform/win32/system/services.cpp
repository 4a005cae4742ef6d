// Services through the service control manager itself: a state reading costs
// a millisecond where a WMI query reads every service of the machine.
#include <memory>
#include <type_traits>
#include <vector>

#include "platform/win32/error_text.h"
#include "platform/win32/system/win32_platform.h"

namespace car {
namespace {

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const noexcept { ::CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

// The service, or null with the system's error left for the caller.
ServiceHandle openService(const std::wstring& name, DWORD access) {
    const ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) win32::throwLastErrorAbout(L"the service control manager");
    return ServiceHandle(::OpenServiceW(manager.get(), name.c_str(), access));
}

}  // namespace

ServiceState Win32Platform::serviceState(const std::wstring& name) {
    const ServiceHandle service = openService(name, SERVICE_QUERY_STATUS);
    if (!service) {
        if (::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return ServiceState::Missing;
        win32::throwLastErrorAbout(name);
    }
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                &needed)) {
        win32::throwLastErrorAbout(name);
    }
    switch (status.dwCurrentState) {
        case SERVICE_STOPPED:
            return ServiceState::Stopped;
        case SERVICE_START_PENDING:
            return ServiceState::StartPending;
        case SERVICE_STOP_PENDING:
            return ServiceState::StopPending;
        case SERVICE_RUNNING:
            return ServiceState::Running;
        default:
            return ServiceState::Other;
    }
}

void Win32Platform::startServiceDirectly(const std::wstring& name) {
    const ServiceHandle service = openService(name, SERVICE_START);
    if (!service || (!::StartServiceW(service.get(), 0, nullptr) && ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING))
        win32::throwLastErrorAbout(name);
}

// A service already stopping cannot take the request, and needs none: the
// control manager says so with the state it reports beside the refusal.
void Win32Platform::stopServiceDirectly(const std::wstring& name) {
    const ServiceHandle service = openService(name, SERVICE_STOP);
    if (!service) win32::throwLastErrorAbout(name);
    SERVICE_STATUS status{};
    if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) return;
    const DWORD error = ::GetLastError();
    if (error == ERROR_SERVICE_NOT_ACTIVE) return;
    if (error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL &&
        (status.dwCurrentState == SERVICE_STOP_PENDING || status.dwCurrentState == SERVICE_STOPPED))
        return;
    ::SetLastError(error);
    win32::throwLastErrorAbout(name);
}

// The control manager lists the dependents so that the first depends on no
// other in the list: the order to stop them in.
std::vector<std::wstring> Win32Platform::activeDependentServices(const std::wstring& name) {
    const ServiceHandle service = openService(name, SERVICE_ENUMERATE_DEPENDENTS);
    if (!service) {
        if (::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return {};
        win32::throwLastErrorAbout(name);
    }
    // The entries' texts follow them in the same buffer; a dependent that
    // starts between the two calls asks for more room once again.
    std::vector<ENUM_SERVICE_STATUSW> entries(1);
    DWORD needed = 0;
    DWORD count = 0;
    for (int attempt = 0;; ++attempt) {
        if (::EnumDependentServicesW(service.get(), SERVICE_ACTIVE, entries.data(),
                                     static_cast<DWORD>(entries.size() * sizeof entries[0]), &needed, &count))
            break;
        if (::GetLastError() != ERROR_MORE_DATA || attempt == 3) win32::throwLastErrorAbout(name);
        entries.resize(needed / sizeof entries[0] + 1);
    }
    std::vector<std::wstring> names;
    for (DWORD i = 0; i < count; ++i)
        if (entries[i].lpServiceName != nullptr) names.emplace_back(entries[i].lpServiceName);
    return names;
}

}  // namespace car

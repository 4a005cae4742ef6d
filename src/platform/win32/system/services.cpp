// Services through the service control manager itself: a state reading costs
// a millisecond where a WMI query reads every service of the machine.
#include <memory>
#include <type_traits>

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

}  // namespace car

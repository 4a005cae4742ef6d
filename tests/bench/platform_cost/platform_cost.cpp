// Times, with the real platform and the window class's own procedures, the
// calls that a whole run makes between its progress steps and whose cost is
// the system's: the four service requests (through WMI) and the two launches
// of iisreset. Their sum against the run's waits is about the least overhead
// any run can have on the machine measured.
//
//   platform_cost          prints one line per call and the totals
//
// Expects the simulated server: both services running, the recorder in
// place of iisreset. It stops and starts the services as a run does.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "app/frmCompactAndRepair.h"
#include "headless_form.h"
#include "platform/win32/system/win32_platform.h"

namespace {

double NowMs() {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Timed(const char* what, const std::function<void()>& call) {
    const double start = NowMs();
    call();
    const double elapsed = NowMs() - start;
    std::printf("%-40s %7.1f ms\n", what, elapsed);
    std::fflush(stdout);
    return elapsed;
}

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

// The run gives a stop request three progress steps; here the stop is
// awaited (at most 6 s) so that the start requests meet stopped services.
bool AwaitStopped(const wchar_t* name) {
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const ServiceHandle service(manager ? OpenServiceW(manager.get(), name, SERVICE_QUERY_STATUS) : nullptr);
    for (int i = 0; service && i < 300; ++i) {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState == SERVICE_STOPPED) return true;
        Sleep(20);
    }
    return false;
}

}  // namespace

int wmain() {
    car::Win32Platform platform;
    bench::NullView view;
    car::frmCompactAndRepair form(platform, view);
    double services = 0;
    double launches = 0;
    bool stopped = false;

    form.RunEvent([&] {
        // Untimed: loads WMI and makes the first connection, which the run has
        // partly behind it when it makes its requests. A name that no service
        // has makes no request.
        form.StopService(L"platform_cost warm-up");
        services += Timed("StopService Teamharbor", [&] { form.StopService(L"Teamharbor"); });
        services += Timed("StopService Quorvin Mail Server", [&] { form.StopService(L"Quorvin Mail Server"); });
        stopped = AwaitStopped(L"Teamharbor") && AwaitStopped(L"Quorvin Mail Server");
        if (!stopped) return;
        // Each command is awaited, untimed, before the run goes on, as a run
        // awaits IIS.
        const auto launch = [&](const std::string& what, const std::wstring& commandLine, int style) {
            double processId = 0;
            launches += Timed(what.c_str(), [&] { processId = form.runexe(commandLine, style); });
            platform.awaitProcess(static_cast<std::uint32_t>(processId), 10000);
        };
        launch("runexe iisreset /stop", L"iisreset /stop", 2);
        services += Timed("StartService Teamharbor", [&] { (form.*bench::kStartService)(L"Teamharbor"); });
        services +=
            Timed("StartService Quorvin Mail Server", [&] { (form.*bench::kStartService)(L"Quorvin Mail Server"); });
        launch("runexe iisreset /start", L"iisreset /start", 2);
    });
    if (!stopped) {
        std::puts("the services did not stop within 6 s");
        return 1;
    }
    std::printf("SERVICE_MS: %.0f\nLAUNCH_MS: %.0f\n", services, launches);
    return 0;
}

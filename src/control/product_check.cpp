#include <string>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {
namespace {

// The service control manager's state in the words WMI uses for it.
std::wstring StateText(ServiceState state) {
    switch (state) {
        case ServiceState::Stopped:
            return L"Stopped";
        case ServiceState::StopPending:
            return L"Stop Pending";
        default:
            return L"not running";
    }
}

bool RunsOrStarts(ServiceState state) { return state == ServiceState::Running || state == ServiceState::StartPending; }

}  // namespace

// From the system's process list: a millisecond, and there when WMI does not answer.
bool frmCompactAndRepair::ProgramRuns(const std::wstring& program) {
    return !platform_.processesNamed(program).empty();
}

bool frmCompactAndRepair::ServiceRunsOrStarts(const std::wstring& service) {
    return RunsOrStarts(platform_.serviceState(service));
}

// A service that does not exist or does not start, or a program that ends at
// once, would otherwise leave a finished run looking well with the suite
// down. Looked at once the run's last wait is over; a check that cannot be
// made is said as such, never an error that ends the program. Services are
// asked of the service control manager, which answers even when WMI does not.
std::wstring frmCompactAndRepair::ProductsNotBack() {
    std::wstring text;
    for (const RestartedProduct& product : restarted_) {
        platform_.pumpMessages();
        std::wstring found;
        try {
            switch (product.mode) {
                case RestartedProduct::Mode::NotStarted:
                    found = L"it could not be started";
                    break;
                case RestartedProduct::Mode::Program:
                    if (!ProgramRuns(product.program)) found = L"its program " + product.program + L" is not running";
                    break;
                case RestartedProduct::Mode::Service: {
                    const ServiceState state = platform_.serviceState(product.service);
                    if (state == ServiceState::Missing) {
                        found = L"no service named \"" + product.service + L"\" exists";
                    } else if (!RunsOrStarts(state)) {
                        found = L"its service \"" + product.service + L"\" is " + StateText(state);
                    }
                    break;
                }
            }
        } catch (const Error& error) {
            found = L"whether it runs could not be read (" + errorSummary(error) + L")";
        }
        if (!found.empty()) {
            text += L"\r\n" + product.name + L" is not running again: " + found + L". Please start " + product.name +
                    L" manually.";
        }
    }
    return text;
}

}  // namespace car

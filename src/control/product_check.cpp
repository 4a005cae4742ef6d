#include <string>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {
namespace {

bool RunsOrStarts(ServiceState state) { return state == ServiceState::Running || state == ServiceState::StartPending; }

}  // namespace

// From the system's process list: a millisecond, and there when WMI does not answer.
bool frmCompactAndRepair::ProgramRuns(const std::wstring& program) {
    return !platform_.processesNamed(program).empty();
}

bool frmCompactAndRepair::ServiceRunsOrStarts(const std::wstring& service) {
    return RunsOrStarts(platform_.serviceState(service));
}

}  // namespace car

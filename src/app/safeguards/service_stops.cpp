#include "app/safeguards/service_stops.h"

#include "app/joined.h"
#include "app/safeguards/last_run.h"

namespace car {
namespace {

constexpr int kMostSteps = 240;  // progress steps of half a second: two minutes

std::wstring StillNotStopped(const std::vector<std::wstring>& late) {
    return L"Still not stopped after " + std::to_wstring(kMostSteps / 2) + L" s: " + JoinedWithAnd(late);
}

}  // namespace

std::wstring ServiceStops::StopDependents(const std::wstring& service) {
    const std::vector<std::wstring> dependents = platform_.activeDependentServices(service);
    for (const std::wstring& dependent : dependents) {
        log_.write(kDependentStopLine + dependent);
        stopped_.dependentStopped(dependent);
        try {
            platform_.stopServiceDirectly(dependent);
        } catch (const Error& error) {
            // As the service's own refusal: the run ends before anything is
            // ended, and what it stopped is started again.
            return L"The service \"" + dependent + L"\", which depends on \"" + service + L"\", refused to stop (" +
                   errorSummary(error) + L").";
        }
    }
    const std::vector<std::wstring> late = AwaitStopped(dependents);
    return late.empty() ? std::wstring() : StillNotStopped(late) + L", which depend on \"" + service + L"\".";
}

std::wstring ServiceStops::AwaitServicesStopped() {
    const std::vector<std::wstring> late = AwaitStopped(stopped_.services());
    return late.empty() ? std::wstring() : StillNotStopped(late) + L".";
}

std::wstring ServiceStops::AwaitStopBeforeStart(const std::wstring& service) {
    const std::vector<std::wstring> late = AwaitStopped({service});
    return late.empty() ? std::wstring() : StillNotStopped(late) + L": it cannot be started again before it has.";
}

std::vector<std::wstring> ServiceStops::AwaitStopped(const std::vector<std::wstring>& names) {
    for (int step = 0;; ++step) {
        std::vector<std::wstring> pending;
        for (const std::wstring& name : names) {
            try {
                const ServiceState state = platform_.serviceState(name);
                if (state != ServiceState::Stopped && state != ServiceState::Missing) pending.push_back(name);
            } catch (const Error& error) {
                log_.write(L"The state of " + name + L" could not be read (" + errorSummary(error) + L")");
            }
        }
        if (pending.empty() || step == kMostSteps) return pending;
        steps_.status(L"Waiting for " + JoinedWithAnd(pending) + L" to stop... " + std::to_wstring(step / 2) +
                      L" s of at most " + std::to_wstring(kMostSteps / 2) + L" s");
        steps_.step();
    }
}

}  // namespace car

#include "app/safeguards/stopped_by_run.h"

#include <algorithm>

namespace car {
namespace {

std::wstring Joined(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (const std::wstring& name : names) text += (text.empty() ? L"" : L", ") + name;
    return text;
}

bool ServiceRuns(Platform& platform, const std::wstring& name) {
    try {
        const ServiceState state = platform.serviceState(name);
        return state == ServiceState::Running || state == ServiceState::StartPending;
    } catch (const Error&) {
        return false;
    }
}

bool ProgramRuns(Platform& platform, const std::wstring& name) {
    try {
        return !platform.processesNamed(name).empty();
    } catch (const Error&) {
        return false;
    }
}

}  // namespace

void StoppedByRun::add(std::vector<std::wstring>& list, const std::wstring& name) {
    if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
}

void StoppedByRun::remove(std::vector<std::wstring>& list, const std::wstring& name) { std::erase(list, name); }

void StoppedByRun::forgetRunning(Platform& platform) {
    std::erase_if(services_, [&](const std::wstring& name) { return ServiceRuns(platform, name); });
    std::erase_if(dependents_, [&](const std::wstring& name) { return ServiceRuns(platform, name); });
    std::erase_if(programs_, [&](const std::wstring& name) { return ProgramRuns(platform, name); });
}

std::wstring StoppedByRun::describe() const {
    if (empty()) return {};
    std::vector<std::wstring> services = services_;
    services.insert(services.end(), dependents_.begin(), dependents_.end());
    std::wstring text = L"This run stopped these, and they are still stopped:";
    if (!services.empty()) text += L"\r\n- the services " + Joined(services);
    if (!programs_.empty()) text += L"\r\n- the programs " + Joined(programs_);
    if (iis_) text += L"\r\n- IIS (iisreset /stop)";
    return text + L"\r\nStart them again, or keep them stopped to repair the database by hand.";
}

}  // namespace car

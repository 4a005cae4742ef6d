#include "app/safeguards/suite_state.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/reg_value.h"
#include "app/suite.h"

namespace car {

std::vector<SuiteState::Product> SuiteState::Now() {
    struct Known {
        ProductId id;
        const wchar_t* name;
        std::wstring_view key;
        std::wstring_view service;
        const wchar_t* program;
        bool webService;
    };
    static constexpr Known kProducts[] = {
        {ProductId::Teamharbor, L"Teamharbor", suite::kTeamharborKey, suite::kTeamharborService, L"THService.exe",
         false},
        {ProductId::MailServer, L"Quorvin Mail Server", suite::kTeampostKey, suite::kMailServerService, L"QMSSrv.exe",
         false},
        {ProductId::Organizer, L"Quorvin Organizer", suite::kOrganizerKey, L"W3SVC", L"", true},
    };
    std::vector<Product> states;
    for (const Known& known : kProducts) {
        Product state{.id = known.id,
                      .name = known.name,
                      .installed = installed_(std::wstring(known.key)),
                      .runs = false,
                      .failure = {},
                      .webService = known.webService};
        if (state.installed) {
            try {
                // A server installed as a program is its program; else its service.
                const std::wstring program(known.program);
                state.runs = !program.empty() && InstalledAsProgram(std::wstring(known.key))
                                 ? ProgramRuns(program, InstalledImage(std::wstring(known.key), program))
                                 : ServiceRunsOrStarts(std::wstring(known.service));
            } catch (const Error& error) {
                state.failure = errorSummary(error);
            }
        }
        states.push_back(std::move(state));
    }
    return states;
}

bool SuiteState::ProgramRunsFrom(Platform& platform, const std::wstring& program, const std::wstring& image) {
    const std::wstring wanted = lowerCase(platform.longPathName(image));
    for (const std::uint32_t process : platform.processesNamed(program)) {
        if (lowerCase(platform.processImage(process)) == wanted) return true;
    }
    return false;
}

std::wstring SuiteState::InstalledImage(const std::wstring& productKey, const std::wstring& program) {
    return RegValueToText(platform_.regRead(productKey + L"Setup\\Folder")) + L"\\" + program;
}

bool SuiteState::ServiceRunsOrStarts(const std::wstring& service) {
    const ServiceState state = platform_.serviceState(service);
    return state == ServiceState::Running || state == ServiceState::StartPending;
}

bool SuiteState::InstalledNowOrAtStart(const std::wstring& productKey) {
    const bool foundAtStart = std::find(atStart_.begin(), atStart_.end(), productKey) != atStart_.end();
    return installed_(productKey) || foundAtStart;
}

bool SuiteState::InstalledAsProgram(const std::wstring& productKey) {
    try {
        return RegValueToNumber(platform_.regRead(productKey + L"Setup\\installAsExe")) == 1;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace car

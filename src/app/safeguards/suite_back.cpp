#include "app/safeguards/suite_back.h"

#include <utility>

#include "app/safeguards/suite_state.h"

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

}  // namespace

void SuiteBack::Restarting(std::wstring name, std::wstring service, Mode mode) {
    products_.push_back({std::move(name), std::move(service), {}, {}, mode});
}

void SuiteBack::Started(Mode mode, std::wstring program, std::wstring image) {
    if (products_.empty()) return;
    products_.back().mode = mode;
    products_.back().program = std::move(program);
    products_.back().image = std::move(image);
}

std::wstring SuiteBack::NotBack() {
    std::wstring text;
    for (const Product& product : products_) {
        platform_.pumpMessages();
        std::wstring found;
        try {
            switch (product.mode) {
                case Mode::NotStarted:
                    found = L"it could not be started";
                    break;
                case Mode::Program:
                    if (!SuiteState::ProgramRunsFrom(platform_, product.program, product.image)) {
                        found = L"its program " + product.program + L" is not running";
                    }
                    break;
                case Mode::Service: {
                    const ServiceState state = platform_.serviceState(product.service);
                    if (state == ServiceState::Missing) {
                        found = L"no service named \"" + product.service + L"\" exists";
                    } else if (state != ServiceState::Running && state != ServiceState::StartPending) {
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

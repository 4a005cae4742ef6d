// What of the suite is installed and whether its servers run: what /check
// reports, what the next start after an interrupted run looks at, and what
// the restart asks so that it neither misses an installed product nor starts
// a second copy of a server that runs. Programs are looked for in the
// system's process list and services asked of the service control manager,
// both of which answer when WMI does not.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace car {

class SuiteState {
public:
    enum class ProductId { Teamharbor, MailServer, Organizer };
    struct Product {
        ProductId id = ProductId::Teamharbor;
        std::wstring name;
        bool installed = false;
        bool runs = false;
        std::wstring failure;     // why whether it runs could not be read
        bool webService = false;  // what runs is IIS's web service, not the product's own server
    };

    // `installed` tells whether a product's registry key is there.
    SuiteState(Platform& platform, std::function<bool(const std::wstring&)> installed)
        : platform_(platform), installed_(std::move(installed)) {}

    // Each product, whether it is installed and, if so, whether its server
    // (its service or its program) runs; for the Organizer, IIS's web service.
    std::vector<Product> Now();
    bool Installed(const std::wstring& productKey) { return installed_(productKey); }
    // Whether a process of the program's name runs from that program file (a
    // full path): one of the same name started from elsewhere is not the server.
    bool ProgramRuns(const std::wstring& program, const std::wstring& image) {
        return ProgramRunsFrom(platform_, program, image);
    }
    static bool ProgramRunsFrom(Platform& platform, const std::wstring& program, const std::wstring& image);
    bool ServiceRunsOrStarts(const std::wstring& service);

    // What the run found installed when it started counts as installed to
    // its end, whatever a later read of the registry gives.
    void FoundAtStart(std::vector<std::wstring> productKeys) { atStart_ = std::move(productKeys); }
    bool InstalledNowOrAtStart(const std::wstring& productKey);

private:
    bool InstalledAsProgram(const std::wstring& productKey);
    std::wstring InstalledImage(const std::wstring& productKey, const std::wstring& program);

    Platform& platform_;
    std::function<bool(const std::wstring&)> installed_;
    std::vector<std::wstring> atStart_;
};

}  // namespace car

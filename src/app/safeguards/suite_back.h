// The check that the suite came back. A service that does not exist or does
// not start, or a program that ends at once, would otherwise leave a finished
// run looking well with the suite down. Every product the run starts again is
// noted with how it was started, and looked at once the run's last wait is
// over; a check that cannot be made is said as such, never an error that ends
// the program. Services are asked of the service control manager, which
// answers even when WMI does not; programs of the system's process list.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace car {

class SuiteBack {
public:
    enum class Mode { NotStarted, Service, Program };

    explicit SuiteBack(Platform& platform) : platform_(platform) {}

    // A product the run starts again: its name and its service.
    void Restarting(std::wstring name, std::wstring service, Mode mode = Mode::NotStarted);
    // How the product noted last was started, once its start went through;
    // for a program, its name and its file's full path.
    void Started(Mode mode, std::wstring program = {}, std::wstring image = {});
    void Clear() { products_.clear(); }
    // The lines to add to the completion text for the products that do not
    // run again; empty when they all do.
    std::wstring NotBack();

private:
    struct Product {
        std::wstring name;
        std::wstring service;
        std::wstring program;
        std::wstring image;
        Mode mode = Mode::NotStarted;
    };

    Platform& platform_;
    std::vector<Product> products_;
};

}  // namespace car

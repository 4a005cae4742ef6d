// driver: operates the program's window from outside, as a person would, for
// the end-to-end tests under Wine. See README.md for the commands.
#include <windows.h>

#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "output.h"

namespace {

int usage() {
    std::wstring text = L"usage: driver [--pid N] [--box-title T] COMMAND ...\ncommands:";
    for (const driver::Command& command : driver::commands()) text += L"\n  " + std::wstring(command.usage);
    return driver::failed(text);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Rectangles and DPI as the screen has them, not scaled for an old program.
    SetProcessDPIAware();

    std::vector<std::wstring> values;
    for (int i = 1; i < argc; ++i) values.emplace_back(argv[i]);
    driver::Arguments args(std::move(values));

    driver::Target target;
    if (const std::optional<std::wstring> pid = args.takeOption(L"--pid")) {
        const std::optional<unsigned long> process = driver::parseCount(*pid);
        if (!process || *process == 0) return driver::failed(L"not a process id: " + *pid);
        target.process = static_cast<DWORD>(*process);
    }
    if (const std::optional<std::wstring> title = args.takeOption(L"--box-title")) {
        if (title->empty()) return usage();
        target.boxTitle = *title;
    }
    if (args.count() == 0) return usage();

    const std::wstring name = args.at(0);
    std::vector<std::wstring> rest;
    for (std::size_t i = 1; i < args.count(); ++i) rest.push_back(args.at(i));
    driver::Arguments commandArgs(std::move(rest));
    for (const driver::Command& command : driver::commands()) {
        if (command.name == name) return command.run(target, commandArgs);
    }
    driver::failed(L"unknown command: " + name);
    return usage();
}

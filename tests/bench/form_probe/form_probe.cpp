// Calls one procedure of the window class with the real Windows platform and
// prints what it gives back, so that tests under Wine can exercise each
// procedure on its own, without the window and without going through a run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "headless_form.h"
#include "platform/win32/system/jet_child.h"
#include "platform/win32/system/win32_platform.h"

namespace {

void Print(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::wstring Describe(const car::RegValue& value) {
    struct Visitor {
        std::wstring operator()(const std::wstring& text) const { return L"text:" + text; }
        std::wstring operator()(std::int64_t number) const { return L"number:" + std::to_wstring(number); }
        std::wstring operator()(const std::vector<std::wstring>& texts) const {
            std::wstring out = L"texts:";
            for (const auto& t : texts) out += L"[" + t + L"]";
            return out;
        }
        std::wstring operator()(const std::vector<std::uint8_t>& bytes) const {
            std::wstring out = L"bytes:";
            for (auto b : bytes) out += std::to_wstring(b) + L",";
            return out;
        }
    };
    return std::visit(Visitor{}, value);
}

int Usage() {
    Print(
        L"usage: form_probe RegistryItemExists|RegistryKeyExists|RegistryValueExists|ReadReg PATH\n"
        L"       form_probe GetHostName | StartService NAME | StopService NAME | KillProcess NAME\n"
        L"       form_probe runexe COMMANDLINE STYLE | StartTeamharbor | StartMailServer\n"
        L"       form_probe CompactDB PATH | SetPermissions PATH | OpenDataFolder PATH");
    return 64;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The JET engine's process is this program started again, as in the program itself.
    if (const std::optional<int> engineExit = car::win32::runAsEngineChildIfAsked()) return *engineExit;
    if (argc < 2) return Usage();
    const std::wstring procedure = argv[1];
    const std::wstring argument = argc > 2 ? argv[2] : L"";
    constexpr std::wstring_view kProcedures[] = {
        L"RegistryItemExists", L"RegistryKeyExists", L"RegistryValueExists", L"ReadReg",        L"GetHostName",
        L"StartService",       L"StopService",       L"KillProcess",         L"runexe",         L"StartTeamharbor",
        L"StartMailServer",    L"CompactDB",         L"SetPermissions",      L"OpenDataFolder",
    };
    if (std::find(std::begin(kProcedures), std::end(kProcedures), procedure) == std::end(kProcedures) ||
        (procedure == L"runexe" && argc < 4)) {
        return Usage();
    }

    car::Win32Platform platform;
    bench::NullView view;
    car::frmCompactAndRepair form(platform, view);

    // Everything runs inside the boundary, as an event handler would: an
    // escaping error shows its message box and ends the program.
    form.RunEvent([&] {
        if (procedure == L"RegistryItemExists") {
            Print(form.RegistryItemExists(argument) ? L"true" : L"false");
        } else if (procedure == L"RegistryKeyExists") {
            Print(form.RegistryKeyExists(argument) ? L"true" : L"false");
        } else if (procedure == L"RegistryValueExists") {
            Print(form.RegistryValueExists(argument) ? L"true" : L"false");
        } else if (procedure == L"ReadReg") {
            try {
                Print(Describe(form.ReadReg(argument)));
            } catch (const car::Error& error) {
                Print(L"error " + car::hex32(error.number) + L" " + error.description);
            }
        } else if (procedure == L"GetHostName") {
            Print(form.GetHostName());
        } else if (procedure == L"StartService") {
            (form.*bench::kStartService)(argument);
        } else if (procedure == L"StopService") {
            form.StopService(argument);
        } else if (procedure == L"KillProcess") {
            form.KillProcess(argument);
        } else if (procedure == L"runexe") {
            Print(std::to_wstring(static_cast<std::uint32_t>(form.runexe(argument, _wtoi(argv[3])))));
        } else if (procedure == L"StartTeamharbor") {
            form.StartTeamharbor();
        } else if (procedure == L"StartMailServer") {
            form.StartMailServer();
        } else if (procedure == L"CompactDB") {
            form.txtDBPath.setCaption(argument);
            form.CompactDB(argument);
            Print(form.BackupPath());
        } else if (procedure == L"SetPermissions") {
            form.txtDBPath.setCaption(argument);
            form.SetPermissions();
        } else if (procedure == L"OpenDataFolder") {
            form.txtDBPath.setCaption(argument);
            form.cmdOpenDataFolder_Click();
        }
    });
    Print(L"done");
    return 0;
}

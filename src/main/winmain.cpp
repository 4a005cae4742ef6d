// The program's start: the window is its start-up object. It is built
// hidden, its Initialize and Load events run, and only then is it shown;
// from there on everything happens in its event handlers.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/safeguards/command_line.h"
#include "platform/win32/error_text.h"
#include "platform/win32/system/jet_child.h"
#include "platform/win32/system/own_process.h"
#include "platform/win32/system/win32_platform.h"
#include "platform/win32/system_library.h"
#include "platform/win32/window/window.h"
#include "platform/win32/window/window_dpi.h"

// <windows.h> is included above, so its StartService macro is live here: the
// class must still have its procedure under its own name, as in the files
// that never see the macro.
#ifndef StartService
#error "<windows.h> no longer defines StartService: the check below would prove nothing"
#endif
#pragma push_macro("StartService")
#undef StartService
static_assert(std::is_same_v<decltype(&car::frmCompactAndRepair::StartService),
                             void (car::frmCompactAndRepair::*)(const std::wstring&)>,
              "frmCompactAndRepair::StartService must not depend on <windows.h>'s macro");
#pragma pop_macro("StartService")

namespace {

// Until the window closes; the dialog keys (Tab, Enter, Space) go to the
// window's buttons as in a dialog box.
int runMessageLoop(HWND window) {
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);  // WM_QUIT
        if (got == -1) return car::kExitError;
        if (window != nullptr && IsWindow(window) && IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Whether anything follows the program's own name (quoted or not): a start
// without arguments, the usual one, does not load the shell to split none.
bool hasArguments(const wchar_t* commandLine) {
    const wchar_t* rest = commandLine;
    if (*rest == L'"') {
        rest = std::wcschr(rest + 1, L'"');
        if (rest == nullptr) return false;
        ++rest;
    } else {
        rest += std::wcscspn(rest, L" \t");
    }
    return rest[std::wcsspn(rest, L" \t")] != L'\0';
}

// The program's arguments, its own name left out, split as the C runtime
// splits them.
std::vector<std::wstring> commandLineArguments() {
    if (!hasArguments(GetCommandLineW())) return {};
    std::optional<std::vector<std::wstring>> words = car::win32::splitCommandLine(GetCommandLineW());
    if (!words) car::win32::throwLastError(L"The program's arguments could not be read.");
    if (!words->empty()) words->erase(words->begin());
    return std::move(*words);
}

// Only building the window or joining COM can fail before an event handler
// runs to report it; without a person the exit code alone says it.
int reportStartFailure(const car::Error& error, bool unattended) {
    if (!unattended) {
        const std::wstring text = error.description + L"\r\n\r\nError " + car::hex32(error.number);
        MessageBoxW(nullptr, text.c_str(), L"Compact And Repair", MB_OK | MB_ICONERROR);
    }
    return car::kExitError;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything can load a library by its bare name: never from the
    // program's own folder, which ordinary users may be able to write.
    car::win32::restrictLibrarySearch();

    // Started by a run to host the JET engine for one compaction: no window.
    if (const std::optional<int> engineExit = car::win32::runAsEngineChildIfAsked()) return *engineExit;

    // Read first, so that even a failure to start shows no box in a run
    // that nobody watches.
    std::vector<std::wstring> arguments;
    bool unattended = false;
    try {
        arguments = commandLineArguments();
        unattended = car::CommandLine::IsUnattended(arguments);
    } catch (const car::Error& error) {
        return reportStartFailure(error, false);
    }
    if (unattended) car::win32::showNoSystemBoxes();

    // The manifest declares the DPI awareness; this only steps in where a
    // system did not read it.
    car::win32::ensureDpiAwareness();

    // The window's own controls: the progress bar and the standard classes.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    try {
        car::Win32Platform platform;
        platform.loadNetworkParamsAhead();
        car::Win32Window window(instance, platform);
        car::frmCompactAndRepair form(platform, window);
        window.attach(form);
        platform.setOwnerWindow(window.hwnd());
        form.RunEvent([&] { form.ApplyArguments(arguments); });  // may end the program
        form.RunEvent([&] { form.Form_Initialize(); });
        form.RunEvent([&] { form.Form_Load(); });  // may end the program before the window is shown
        if (form.CheckOnly()) form.RunEvent([&] { form.RunCheck(); });      // ends the program
        if (form.RecoverOnly()) form.RunEvent([&] { form.RunRecover(); });  // ends the program
        form.RunEvent([&] { form.CheckLastRun(); });
        window.show();
        // Ends the program with the run's exit code.
        if (form.Unattended()) form.RunEvent([&] { form.RunUnattended(); });
        return runMessageLoop(window.hwnd());
    } catch (const car::Error& error) {
        return reportStartFailure(error, unattended);
    }
}

// isolation_check COMMAND ARGS...: how a run keeps others out, for
// tests/wine/test_machine_lock.sh and test_jet_engine.sh. One line of outcome:
//   namespace-lock NAME | global-lock NAME [hold]   the outcome (and a foreign owner)
//   squat NAME SDDL          makes the mutex as another party would, holds it
//   orphan SOURCE DESTINATION   starts the engine's process as a run does, but in
//                            no job: "parent P engine E in no job"
//   end-parent P E MS        kills P, then waits up to MS for E to end
//   child-with PID|parent SOURCE DESTINATION   starts the engine's command line
//                            naming a handle of that process (none for PID 0)
// A holder keeps what it holds for a minute at most, until the test kills it.
#include <windows.h>

#include <sddl.h>

#include <cwchar>
#include <memory>
#include <string>

#include "platform/win32/system/jet_child.h"
#include "platform/win32/system/own_process.h"
#include "platform/win32/system/win32_platform.h"

namespace {

void print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    std::string bytes(text.size() * 3, '\0');
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                           static_cast<int>(bytes.size()), nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(size), &written, nullptr);
}

void holdForAMinute() { ::Sleep(60'000); }

std::wstring describe(const car::LockAttempt& attempt) {
    const wchar_t* const outcomes[] = {L"Taken", L"HeldByAnother", L"Unsupported", L"ForeignOwner "};
    return outcomes[static_cast<int>(attempt.outcome)] + attempt.owner;
}

DWORD exitCodeAfter(HANDLE process, DWORD ms) {
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(process, ms) == WAIT_OBJECT_0) ::GetExitCodeProcess(process, &code);
    return code;
}

std::wstring hex(DWORD value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08X", static_cast<unsigned>(value));
    return text;
}

int run(car::Win32Platform& platform, const std::wstring& command, wchar_t** args) {
    namespace win32 = car::win32;
    if (command == L"namespace-lock") {
        const car::LockAttempt attempt = platform.lockInAdministratorsNamespace(args[0]);
        print(describe(attempt) + L" alive");
    } else if (command == L"global-lock") {
        const car::LockAttempt attempt = platform.lockMachineWide(args[0]);
        print(describe(attempt));
        if (attempt.lock && args[1] != nullptr) holdForAMinute();
    } else if (command == L"squat") {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (*args[1] != L'\0' &&
            !::ConvertStringSecurityDescriptorToSecurityDescriptorW(args[1], 1, &descriptor, nullptr))
            return print(L"bad SDDL"), 1;
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        const std::unique_ptr<void, win32::LocalFreeDeleter> owned(descriptor);
        const win32::UniqueHandle mutex(::CreateMutexW(&attributes, FALSE, args[0]));
        print(mutex ? L"squatting" : L"error " + std::to_wstring(::GetLastError()));
        if (mutex) holdForAMinute();
    } else if (command == L"orphan") {
        win32::EngineChild child = win32::startEngineChild(win32::runningProgramPath(), args[0], args[1], L"C:\\");
        ::ResumeThread(child.thread.get());
        BOOL inJob = TRUE;
        ::IsProcessInJob(child.process.get(), nullptr, &inJob);
        print(L"parent " + std::to_wstring(::GetCurrentProcessId()) + L" engine " +
              std::to_wstring(::GetProcessId(child.process.get())) + (inJob ? L" in a job" : L" in no job"));
        exitCodeAfter(child.process.get(), 60'000);
    } else if (command == L"end-parent") {
        const win32::UniqueHandle parent(::OpenProcess(PROCESS_TERMINATE, FALSE, std::stoul(args[0])));
        const win32::UniqueHandle engine(
            ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, std::stoul(args[1])));
        if (!parent || !engine || exitCodeAfter(engine.get(), 0) != STILL_ACTIVE) return print(L"not running"), 1;
        ::TerminateProcess(parent.get(), 1);
        const DWORD code = exitCodeAfter(engine.get(), std::stoul(args[2]));
        print(code == STILL_ACTIVE ? L"engine still running" : L"engine ended " + hex(code));
    } else if (command == L"child-with") {
        // An engine's command line naming an inherited handle of that process.
        const DWORD id = std::wstring(args[0]) == L"parent" ? ::GetCurrentProcessId() : std::stoul(args[0]);
        const win32::UniqueHandle given(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, id));
        const std::wstring program = win32::runningProgramPath();
        std::wstring line = win32::engineChildCommandLine(program, given.get(), args[1], args[2]);
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        ::CreatePipe(&readEnd, &writeEnd, &inherit, 0);
        const win32::UniqueHandle reader(readEnd), writer(writeEnd);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writer.get();
        PROCESS_INFORMATION created{};
        if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                              &startup, &created))
            return print(L"not started"), 1;
        const win32::UniqueHandle process(created.hProcess), thread(created.hThread);
        print(L"exit " + std::to_wstring(exitCodeAfter(process.get(), 30'000)));
    } else {
        return print(L"unknown command"), 2;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The engine's process is this program started again, as in the program itself.
    if (const std::optional<int> engineExit = car::win32::runAsEngineChildIfAsked()) return *engineExit;
    if (argc < 3) return print(L"usage: isolation_check COMMAND ARGS..."), 2;
    try {
        car::Win32Platform platform;
        return run(platform, argv[1], argv + 2);
    } catch (const car::Error& error) {
        print(L"error " + hex(static_cast<DWORD>(error.number)) + L" " + error.description);
        return 1;
    }
}

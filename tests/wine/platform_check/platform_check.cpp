// platform_check SUBCOMMAND ARGS...: runs one operation of Win32Platform and
// prints its outcome, one fact per line, for tests/wine/test_platform.sh (the
// library search for tests/wine/test_planted_dll.sh, the run's lock for
// test_machine_lock.sh, the engine's process in no job for test_jet_engine.sh);
// who may do what (grants, listings, accounts, privileges) in access_check.cpp.
// A failure prints "error 0xNNNNNNNN description" (DAO that is not there:
// "dao missing 0xNNNNNNNN description") and exits with 1.
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "access_check.h"
#include "check_output.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/jet_child.h"
#include "platform/win32/system/own_process.h"
#include "platform/win32/system/win32_platform.h"
#include "platform/win32/system_library.h"
#include "window_check.h"

namespace {

using car::Error;
using check::errorLine;
using check::hex;
using check::kindName;
using check::makeWindow;
using check::MessageBoxAnswerer;
using check::pendingQuit;
using check::postedHandled;
using check::print;

std::wstring describe(const car::LockAttempt& attempt) {
    const wchar_t* const outcomes[] = {L"Taken", L"HeldByAnother", L"Unsupported", L"ForeignOwner "};
    return outcomes[static_cast<int>(attempt.outcome)] + attempt.owner;
}

// A holder keeps what it holds for a minute at most, until the test kills it.
void holdForAMinute() { ::Sleep(60'000); }

DWORD exitCodeAfter(HANDLE process, DWORD ms) {
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(process, ms) == WAIT_OBJECT_0) ::GetExitCodeProcess(process, &code);
    return code;
}

std::wstring describe(const car::RegValue& value) {
    if (const auto* text = std::get_if<std::wstring>(&value)) return L"text " + *text;
    if (const auto* number = std::get_if<std::int64_t>(&value)) return L"number " + std::to_wstring(*number);
    if (const auto* texts = std::get_if<std::vector<std::wstring>>(&value)) {
        std::wstring line = L"texts " + std::to_wstring(texts->size());
        for (const auto& text : *texts) line += L" [" + text + L"]";
        return line;
    }
    std::wstring line = L"bytes";
    for (const std::uint8_t byte : std::get<std::vector<std::uint8_t>>(value)) line += L" " + hex(byte, 2);
    return line;
}

// "file|folder KIND names N", and whether the volume is the one the
// system names for the path's drive.
std::wstring heldFacts(const car::HeldFile& held, const std::wstring& path) {
    wchar_t root[MAX_PATH] = L"";
    DWORD serial = 0;
    const bool known = ::GetVolumePathNameW(path.c_str(), root, MAX_PATH) &&
                       ::GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
    return std::wstring(held.isFolder() ? L"folder " : L"file ") + kindName(held.reparseKind()) + L" names " +
           std::to_wstring(held.nameCount()) + (known && serial == held.volume() ? L" its volume" : L" another volume");
}

std::wstring asSddl(std::vector<std::uint8_t> descriptor) {
    wchar_t* text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor.data(), SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr))
        return L"unreadable";
    const std::unique_ptr<wchar_t, car::win32::LocalFreeDeleter> owned(text);
    return text;
}

std::uint32_t number(const wchar_t* text) { return static_cast<std::uint32_t>(std::wcstoul(text, nullptr, 0)); }

int run(car::Win32Platform& platform, const std::vector<std::wstring>& args) {
    const std::wstring& command = args.at(0);
    if (command == L"regread" || command == L"regread-native") {  // one line per path, failures included
        for (std::size_t i = 1; i < args.size(); ++i) {
            try {
                print(
                    describe(command == L"regread" ? platform.regRead(args[i]) : platform.regReadNativeView(args[i])));
            } catch (const Error& error) {
                print(errorLine(error));
            }
        }
    } else if (command == L"move") {
        platform.moveFile(args.at(1), args.at(2));
        print(L"moved");
    } else if (command == L"link") {
        platform.createHardLink(args.at(1), args.at(2));
        print(L"linked");
    } else if (command == L"held") {  // PATH...: each held, its facts
        for (std::size_t i = 1; i < args.size(); ++i) print(heldFacts(*platform.holdFile(args[i]), args[i]));
    } else if (command == L"held-link") {  // PATH NAME: names before and after a second name is given
        const auto held = platform.holdFile(args.at(1));
        print(L"names " + std::to_wstring(held->nameCount()));
        platform.createHardLink(args.at(1), args.at(2));
        print(L"names " + std::to_wstring(held->nameCount()));
    } else if (command == L"held-rename") {  // FROM TO replace|keep
        const auto held = platform.holdFile(args.at(1));
        held->flush();
        held->rename(args.at(2), args.at(3) == L"replace");
        print(L"renamed " + heldFacts(*held, args.at(2)));
    } else if (command == L"held-until") {  // PATH STOPFILE: held until the stop file appears (a minute at most)
        const auto held = platform.holdFile(args.at(1));
        print(L"held");
        for (int i = 0; i < 3000 && ::GetFileAttributesW(args.at(2).c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
            ::Sleep(20);
        print(L"released");
    } else if (command == L"security") {  // PATH: owner and access list as SDDL
        print(asSddl(platform.holdFile(args.at(1))->ownerAndAccessList()));
    } else if (command == L"give-security") {  // FROM TO: TO gets FROM's owner and access list
        const auto descriptor = platform.holdFile(args.at(1))->ownerAndAccessList();
        platform.holdFile(args.at(2))->giveOwnerAndAccessList(descriptor);
        print(L"given");
    } else if (command == L"long-name") {  // PATH: its short name, and the long name of that
        wchar_t shortName[MAX_PATH] = L"";
        const DWORD length = ::GetShortPathNameW(args.at(1).c_str(), shortName, MAX_PATH);
        const std::wstring name = length != 0 && length < MAX_PATH ? shortName : args.at(1);
        print(L"short " + name);
        print(L"long " + platform.longPathName(name));
    } else if (command == L"delete") {
        platform.deleteFile(args.at(1));
        print(L"deleted");
    } else if (command == L"in-use") {
        print(platform.fileInUse(args.at(1)) ? L"in use" : L"free");
    } else if (command == L"holders") {
        const std::vector<std::wstring> holders = platform.fileHolders(args.at(1));
        print(L"holders " + std::to_wstring(holders.size()));
        for (const auto& holder : holders) print(L"holder " + holder);
    } else if (command == L"exists") {
        for (std::size_t i = 1; i < args.size(); ++i) print(platform.pathExists(args[i]) ? L"true" : L"false");
    } else if (command == L"info") {
        for (std::size_t i = 1; i < args.size(); ++i) {
            const car::PathInfo info = platform.pathInfo(args[i]);
            print((info.exists ? (info.isFolder ? L"folder " : L"file ") : L"missing ") + std::to_wstring(info.size));
        }
    } else if (command == L"hold") {  // FOLDER OTHER: the folder held, then renamed to OTHER and back
        {
            const auto held = platform.holdFolder(args.at(1));
            print(std::wstring(L"held ") + kindName(held->reparseKind()));
            const std::wstring inside = args.at(1) + L"\\inside.txt";
            bool works = car::win32::UniqueHandle(
                             ::CreateFileW(inside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr))
                             ? true
                             : false;
            works = works && ::MoveFileExW(inside.c_str(), (inside + L".renamed").c_str(), 0);
            print(works ? L"work inside goes on" : L"work inside refused");
            print(::MoveFileExW(args.at(1).c_str(), args.at(2).c_str(), 0) ? L"renamed while held"
                                                                           : L"rename refused while held");
        }
        print(::MoveFileExW(args.at(1).c_str(), args.at(2).c_str(), 0) ? L"renamed after" : L"rename refused after");
    } else if (command == L"append") {  // PATH LINE...: opened once, each line appended
        const auto file = platform.openAppendFile(args.at(1));
        print(L"reparse " + std::wstring(file->isReparsePoint() ? L"yes" : L"no") + L" names " +
              std::to_wstring(file->nameCount()));
        for (std::size_t i = 2; i < args.size(); ++i) file->appendLine(args[i]);
    } else if (command == L"free") {
        print(L"free " + std::to_wstring(platform.freeSpace(args.at(1))));
    } else if (command == L"folders") {
        const car::SystemFolders folders = platform.systemFolders();
        print(folders.windows + L"|" + folders.system + L"|" + folders.nativeSystem);
    } else if (command == L"wmi-query" || command == L"wmi-method") {
        const auto moniker = command == L"wmi-query" && args.size() > 2
                                 ? args.at(2)
                                 : std::wstring(L"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2");
        const auto service = platform.connectWmi(moniker);
        const auto objects = service->execQuery(args.at(1));
        for (const auto& object : objects) {
            print(L"object " + std::to_wstring(object.processId) + L" " + object.name + L" " + object.path);
            if (command == L"wmi-method") {
                service->execMethod(object, args.at(2));
                print(L"called " + args.at(2) + L" on " + object.name);
            }
        }
        if (command == L"wmi-method")
            print(check::privilegeEnabled(SE_DEBUG_NAME) ? L"debug privilege on" : L"debug privilege off");
        print(L"count " + std::to_wstring(objects.size()));
    } else if (command == L"wmi-state") {  // QUERY: each object's State
        const auto service = platform.connectWmi(L"winmgmts:\\\\.\\root\\cimv2");
        for (const auto& object : service->execQuery(args.at(1))) print(L"state " + object.state);
    } else if (command == L"wmi-call") {  // PATH PROCESSID METHOD: an object found by an earlier query
        const auto service = platform.connectWmi(L"winmgmts:\\\\.\\root\\cimv2");
        service->execMethod(car::WmiObject{args.at(1), L"", number(args.at(2).c_str()), L""}, args.at(3));
        print(L"called " + args.at(3));
    } else if (command == L"launch") {  // APPLICATION COMMANDLINE FOLDER STYLE
        print(L"pid " + std::to_wstring(platform.launch(args.at(1), args.at(2), args.at(3), std::stoi(args.at(4)))));
    } else if (command == L"run") {  // the same, then TIMEOUT [quit-pending]: await with a timeout
        if (args.size() > 6 && args.at(6) == L"quit-pending") ::PostQuitMessage(3);
        const auto pid = platform.launch(args.at(1), args.at(2), args.at(3), std::stoi(args.at(4)));
        print(L"pid " + std::to_wstring(pid));
        const DWORD start = ::GetTickCount();
        const bool ended = platform.awaitProcess(pid, number(args.at(5).c_str()));
        print(std::wstring(ended ? L"ended" : L"timeout") + L" after " + std::to_wstring(::GetTickCount() - start));
        print(L"await again " + std::wstring(platform.awaitProcess(pid, 0) ? L"ended" : L"timeout"));
        print(L"quit " + pendingQuit());
    } else if (command == L"await-unknown") {
        print(platform.awaitProcess(number(args.at(1).c_str()), 0) ? L"ended" : L"timeout");
    } else if (command == L"showinfo") {  // the launched side: how it was asked to show its window
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        ::GetStartupInfoW(&startup);
        const std::string line = "flags=" + std::to_string(startup.dwFlags & STARTF_USESHOWWINDOW) +
                                 " show=" + std::to_string(startup.wShowWindow) + "\n";
        HANDLE file = ::CreateFileW(args.at(1).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        ::CloseHandle(file);
    } else if (command == L"sleep") {
        platform.sleep(number(args.at(1).c_str()));
    } else if (command == L"exit") {
        platform.endProgram(std::stoi(args.at(1)));
    } else if (command == L"netparams") {
        std::uint32_t length = 0;
        platform.getNetworkParams(nullptr, length);
        std::vector<std::uint8_t> buffer(length);
        const auto result = platform.getNetworkParams(buffer.data(), length);
        if (result != 0 || length < 132) return print(L"netparams failed " + std::to_wstring(result)), 1;
        std::wstring host = platform.fromAnsiCodePage(buffer.data(), 132);
        print(L"field " + std::to_wstring(host.size()));
        host.resize(host.find(L'\0') == std::wstring::npos ? host.size() : host.find(L'\0'));
        print(L"host " + host);
    } else if (command == L"ansi") {  // hex bytes in, code points out
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 1; i < args.size(); ++i)
            bytes.push_back(static_cast<std::uint8_t>(std::wcstoul(args[i].c_str(), nullptr, 16)));
        std::wstring line = L"chars";
        for (const wchar_t c : platform.fromAnsiCodePage(bytes.data(), bytes.size())) line += L" " + hex(c, 4);
        print(line);
    } else if (command == L"jet") {
        platform.createJetEngine()->compactDatabase(args.at(1), args.at(2), 600'000, [](const car::Error&) {});
        print(L"compacted");
    } else if (command == L"compact-limit") {  // SOURCE DESTINATION LIMIT: how it ended, then the engines left
        // The engine's process is this program started again: a copy that
        // was not there before is one.
        const std::vector<std::uint32_t> before = platform.processesNamed(L"platform_check.exe");
        const DWORD start = ::GetTickCount();
        try {
            platform.createJetEngine()->compactDatabase(args.at(1), args.at(2), number(args.at(3).c_str()),
                                                        [](const car::Error&) {});
            print(L"compacted");
        } catch (const car::EngineTimedOut& error) {
            print(L"timed out " + errorLine(error));
        }
        print(L"after " + std::to_wstring(::GetTickCount() - start));
        std::size_t engines = 0;
        for (const std::uint32_t id : platform.processesNamed(L"platform_check.exe"))
            if (std::find(before.begin(), before.end(), id) == before.end()) ++engines;
        print(L"engines " + std::to_wstring(engines));
    } else if (command == L"dao-tables" || command == L"dao-count") {
        // PATH [TABLE] [then-rename NEW]: "table ROWS 0xATTRIBUTES NAME" each, or the rows counted; then
        // whether the file can be renamed at once, which it cannot while DAO still has it open.
        const bool counting = command == L"dao-count";
        const std::size_t renameAt = counting ? 3 : 2;
        bool failed = false;
        try {
            if (counting) {
                print(L"rows " + std::to_wstring(platform.daoCountRows(args.at(1), args.at(2))));
            } else {
                const std::vector<car::TableFacts> tables = platform.daoTables(args.at(1));
                for (const car::TableFacts& table : tables)
                    print(L"table " + std::to_wstring(table.rowCount) + L" 0x" +
                          hex(static_cast<std::uint32_t>(table.attributes), 8) + L" " + table.name);
                print(L"tables " + std::to_wstring(tables.size()));
            }
        } catch (const car::DaoMissing& missing) {
            print(L"dao missing 0x" + hex(static_cast<std::uint32_t>(missing.number), 8) + L" " + missing.description);
            failed = true;
        } catch (const Error& error) {
            print(errorLine(error));
            failed = true;
        }
        if (args.size() > renameAt + 1 && args.at(renameAt) == L"then-rename") {
            platform.moveFile(args.at(1), args.at(renameAt + 1));
            print(L"renamed");
        }
        return failed ? 1 : 0;
    } else if (command == L"processes") {  // NAME: this process's id, then the ids of those of that name
        print(L"own " + std::to_wstring(platform.ownProcessId()));
        for (const std::uint32_t id : platform.processesNamed(args.at(1)))
            print(L"pid " + std::to_wstring(id) + L" " + platform.processImage(id));
    } else if (command == L"service-stop") {
        platform.stopServiceDirectly(args.at(1));
        print(L"stop asked");
    } else if (command == L"dependents") {
        const std::vector<std::wstring> names = platform.activeDependentServices(args.at(1));
        print(L"dependents " + std::to_wstring(names.size()));
        for (const auto& name : names) print(L"dependent " + name);
    } else if (command == L"message") {  // [owned|hidden-owner] text
        HWND owner = nullptr;
        if (args.at(1) != L"unowned") {
            owner = makeWindow(args.at(1) == L"owned");
            platform.setOwnerWindow(owner);
        }
        {
            MessageBoxAnswerer answerer(owner);
            platform.showMessage(args.at(2));
        }
        print(L"returned");
    } else if (command == L"pump") {
        const HWND window = makeWindow(false);
        for (int i = 0; i < 3; ++i) ::PostMessageW(window, WM_APP, 0, 0);
        ::PostQuitMessage(7);
        ::PostMessageW(window, WM_APP, 0, 0);
        platform.pumpMessages();
        print(L"handled " + std::to_wstring(postedHandled.load()) + L" quit " + pendingQuit());
    } else if (command == L"commoncontrols") {
        print(platform.initCommonControls(number(args.at(1).c_str()), number(args.at(2).c_str())) ? L"true" : L"false");
    } else if (command == L"load-library") {  // [restricted] NAME: where a load by bare name finds it
        const bool restricted = args.at(1) == L"restricted";
        if (restricted) car::win32::restrictLibrarySearch();
        const HMODULE module = ::LoadLibraryW(args.at(restricted ? 2 : 1).c_str());
        wchar_t path[MAX_PATH] = L"";
        if (module != nullptr) ::GetModuleFileNameW(module, path, MAX_PATH);
        print(module != nullptr ? path : L"none");
    } else if (command == L"namespace-lock") {  // NAME: the outcome, and that the process lives on
        print(describe(platform.lockInAdministratorsNamespace(args.at(1))) + L" alive");
    } else if (command == L"global-lock") {  // NAME [hold]
        const car::LockAttempt attempt = platform.lockMachineWide(args.at(1));
        print(describe(attempt));
        if (attempt.lock && args.size() > 2) holdForAMinute();
    } else if (command == L"squat") {  // NAME SDDL: the mutex made as another party would, and held
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!args.at(2).empty() &&
            !::ConvertStringSecurityDescriptorToSecurityDescriptorW(args[2].c_str(), 1, &descriptor, nullptr)) {
            print(L"bad SDDL");
            return 1;
        }
        const std::unique_ptr<void, car::win32::LocalFreeDeleter> owned(descriptor);
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        const car::win32::UniqueHandle mutex(::CreateMutexW(&attributes, FALSE, args.at(1).c_str()));
        print(mutex ? L"squatting" : L"error " + std::to_wstring(::GetLastError()));
        if (mutex) holdForAMinute();
    } else if (command == L"orphan") {  // SOURCE DESTINATION: the engine's process as a run starts it, in no job
        car::win32::EngineChild child =
            car::win32::startEngineChild(car::win32::runningProgramPath(), args.at(1), args.at(2), L"C:\\");
        ::ResumeThread(child.thread.get());
        BOOL inJob = TRUE;
        ::IsProcessInJob(child.process.get(), nullptr, &inJob);
        print(L"parent " + std::to_wstring(::GetCurrentProcessId()) + L" engine " +
              std::to_wstring(::GetProcessId(child.process.get())) + (inJob ? L" in a job" : L" in no job"));
        exitCodeAfter(child.process.get(), 60'000);
    } else if (command == L"end-parent") {  // P E MS: kills P, then waits up to MS for E to end
        const car::win32::UniqueHandle parent(::OpenProcess(PROCESS_TERMINATE, FALSE, std::stoul(args.at(1))));
        const car::win32::UniqueHandle engine(
            ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, std::stoul(args.at(2))));
        if (!parent || !engine || exitCodeAfter(engine.get(), 0) != STILL_ACTIVE) {
            print(L"not running");
            return 1;
        }
        ::TerminateProcess(parent.get(), 1);
        const DWORD code = exitCodeAfter(engine.get(), std::stoul(args.at(3)));
        print(code == STILL_ACTIVE ? L"engine still running" : L"engine ended 0x" + hex(code, 8));
    } else if (command == L"clock") {
        const auto first = platform.clockTicks();
        platform.sleep(20);
        print(platform.clockTicks() > first ? L"clock advances" : L"clock stands still");
    } else if (const std::optional<int> exitCode = check::runAccessCommand(platform, args)) {
        return *exitCode;
    } else {
        print(L"unknown sub-command " + command);
        return 2;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The JET engine's process is this program started again, as in the program itself.
    if (const std::optional<int> engineExit = car::win32::runAsEngineChildIfAsked()) return *engineExit;
    if (argc < 2) {
        print(L"usage: platform_check SUBCOMMAND ARGS...");
        return 2;
    }
    try {
        car::Win32Platform platform;
        return run(platform, std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (const Error& error) {
        print(errorLine(error));
        return 1;
    } catch (const std::exception& error) {
        print(L"exception " + std::wstring(error.what(), error.what() + std::strlen(error.what())));
        return 3;
    }
}

#include "access_check.h"

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "check_output.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/own_process.h"

namespace check {
namespace {

std::uint32_t number(const std::wstring& text) { return static_cast<std::uint32_t>(std::stoul(text)); }

// Owner and access list as SDDL, read by name as another program would.
std::wstring securityOf(const std::wstring& path) {
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    ::GetFileSecurityW(path.c_str(), what, nullptr, 0, &size);
    std::vector<std::uint64_t> descriptor(size / sizeof(std::uint64_t) + 1);
    wchar_t* text = nullptr;
    if (size == 0 || !::GetFileSecurityW(path.c_str(), what, descriptor.data(), size, &size) ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1, what, &text,
                                                                nullptr)) {
        return L"unreadable " + std::to_wstring(::GetLastError());
    }
    const std::unique_ptr<wchar_t, car::win32::LocalFreeDeleter> owned(text);
    return text;
}

std::wstring account(const std::optional<car::Account>& found) {
    return found ? found->name + L"|" + found->sid : L"none";
}

// "NAME folder|file reparse|plain ID", then how openInTree finds the same
// name: its kind, folder or file, and whether its id is the listing's.
std::wstring describe(car::Win32Platform& platform, const std::wstring& folder, const car::ListedEntry& entry) {
    std::wstring line = entry.name + (entry.isFolder ? L" folder" : L" file") +
                        (entry.reparsePoint ? L" reparse " : L" plain ") + std::to_wstring(entry.fileId) +
                        L" | opened ";
    try {
        const auto opened = platform.openInTree(folder + L"\\" + entry.name);
        return line + kindName(opened->reparseKind()) + (opened->isFolder() ? L" folder" : L" file") +
               (opened->fileId() == entry.fileId ? L" same id" : L" other id");
    } catch (const car::Error& error) {
        return line + errorLine(error);
    }
}

// Exits 1 when the privilege is enabled in this process, 0 when not: what a
// program started with the privilege enabled in its parent has.
int privilegeState(const std::wstring& name) { return privilegeEnabled(name.c_str()) ? 1 : 0; }

std::wstring onOff(bool on) { return on ? L"on" : L"off"; }

// The privilege in this process, and in a child started now.
std::wstring states(car::Win32Platform& platform, const wchar_t* name) {
    const std::uint32_t child = platform.launch(
        car::win32::runningProgramPath(), L"platform_check.exe privilege-state " + std::wstring(name), L"C:\\", 0);
    std::optional<std::uint32_t> exitCode;
    const bool ended = platform.awaitProcess(child, 20'000, &exitCode);
    const std::wstring inChild = !ended || !exitCode ? L"unknown" : onOff(*exitCode == 1);
    return onOff(privilegeEnabled(name)) + L" child " + inChild;
}

int privilegeScopes(car::Win32Platform& platform, const std::wstring& which) {
    const car::Privilege privilege = which == L"restore" ? car::Privilege::Restore : car::Privilege::Debug;
    const wchar_t* name = which == L"restore" ? SE_RESTORE_NAME : SE_DEBUG_NAME;
    print(L"before " + states(platform, name));
    {
        const auto scope = platform.enablePrivilege(privilege);
        print(L"inside " + states(platform, name));
        // A scope inside a scope finds it enabled and leaves it so.
        platform.enablePrivilege(privilege).reset();
        print(L"after a nested scope " + onOff(privilegeEnabled(name)));
    }
    print(L"after " + states(platform, name));
    return 0;
}

int trustedFolder(car::Win32Platform& platform) {
    const car::TrustedFolder folder = platform.holdTrustedFolder();
    print(L"held " + folder.path);
    print(L"security " + securityOf(folder.path));
    print(::MoveFileExW(folder.path.c_str(), (folder.path + L" moved").c_str(), 0) ? L"renamed while held"
                                                                                   : L"rename refused while held");
    const auto joined = [](const std::vector<std::wstring>& sids) {
        std::wstring text;
        for (const std::wstring& sid : sids) text += (text.empty() ? L"" : L",") + sid;
        return text;
    };
    print(L"owner " + folder.owner);
    print(L"writers " + joined(folder.writers));
    print(L"own " + joined(folder.ownAccounts));
    return 0;
}

}  // namespace

bool privilegeEnabled(const wchar_t* name) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const car::win32::UniqueHandle token(raw);
    std::vector<std::uint64_t> buffer(1024);
    DWORD size = 0;
    LUID wanted{};
    if (!::LookupPrivilegeValueW(nullptr, name, &wanted) ||
        !::GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), 8192, &size))
        return false;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
        if (entry.Luid.LowPart == wanted.LowPart && entry.Luid.HighPart == wanted.HighPart)
            return (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    return false;
}

std::optional<int> runAccessCommand(car::Win32Platform& platform, const std::vector<std::wstring>& args) {
    const std::wstring& command = args.at(0);
    if (command == L"grant") {  // held-file|held-folder|tree PATH inherited|plain SID...
        const std::wstring& how = args.at(1);
        const std::vector<std::wstring> sids(args.begin() + 4, args.end());
        const bool inherited = args.at(3) == L"inherited";
        if (how == L"held-file") platform.holdFile(args.at(2))->grantFullControl(sids, inherited);
        if (how == L"held-folder") platform.holdFolder(args.at(2))->grantFullControl(sids, inherited);
        if (how == L"tree") platform.openInTree(args.at(2))->grantFullControl(sids, inherited);
        print(L"granted");
    } else if (command == L"acl") {  // PATH...: owner and access list, read by name
        for (std::size_t i = 1; i < args.size(); ++i) print(securityOf(args[i]));
    } else if (command == L"list") {  // held|tree FOLDER: its entries by name, each opened too
        const auto folder = args.at(1) == L"held" ? platform.holdFolder(args.at(2)) : platform.openInTree(args.at(2));
        std::vector<car::ListedEntry> entries = folder->list();
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
        std::set<std::uint64_t> ids;
        for (const auto& entry : entries) {
            print(describe(platform, args.at(2), entry));
            ids.insert(entry.fileId);
        }
        print(L"entries " + std::to_wstring(entries.size()) + L" ids " + std::to_wstring(ids.size()));
    } else if (command == L"open-rename") {  // PATH OTHER: renamed by name while openInTree holds it
        const auto opened = platform.openInTree(args.at(1));
        print(::MoveFileExW(args[1].c_str(), args.at(2).c_str(), 0) ? L"renamed while open" : L"rename refused");
    } else if (command == L"sid" || command == L"account") {  // SID... or NAME...: "NAME|SID" or "none" each
        for (std::size_t i = 1; i < args.size(); ++i)
            print(account(command == L"sid" ? platform.accountBySid(args[i]) : platform.accountByName(args[i])));
    } else if (command == L"privilege") {  // debug|restore: before, inside, in a child started then, after
        return privilegeScopes(platform, args.at(1));
    } else if (command == L"privilege-state") {  // NAME: exits 1 when enabled
        return privilegeState(args.at(1));
    } else if (command == L"trusted") {
        return trustedFolder(platform);
    } else if (command == L"ask-close") {  // PID...: each asked, then whether it ended within five seconds
        for (std::size_t i = 1; i < args.size(); ++i) {
            const auto id = static_cast<std::uint32_t>(std::stoul(args[i]));
            const car::win32::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
            const bool asked = platform.askToClose(id);
            const bool ended = process && ::WaitForSingleObject(process.get(), 5000) == WAIT_OBJECT_0;
            print(args[i] + (asked ? L" asked" : L" not-asked") + (ended ? L" ended" : L" running"));
        }
        return 0;
    } else if (command == L"ask-limited") {  // MS: a Yes/No box nobody answers, and how it was answered
        const car::Platform::Answer answer = platform.askYesNo(L"Nobody answers this.", true, number(args.at(1)));
        print(answer == car::Platform::Answer::NoByItself ? L"no by itself"
              : answer == car::Platform::Answer::No       ? L"no"
                                                          : L"yes");
    } else {
        return std::nullopt;
    }
    return 0;
}

}  // namespace check

#include "app/safeguards/grant_sequence.h"

#include <optional>
#include <string>

#include "app/path_only.h"

namespace car {
namespace {

constexpr std::uint32_t kGrantTimeoutMs = 60'000;

bool IsDriveOrShareRoot(const std::wstring& folder) {
    if (folder.size() == 2 && folder[1] == L':') return true;  // "C:" is the drive's current folder, not its root
    if (!folder.starts_with(L"\\\\")) return false;
    // "\\server\share", or "\\?\C:" and the like
    const std::size_t server = folder.find(L'\\', 2);
    return server == std::wstring::npos || folder.find(L'\\', server + 1) == std::wstring::npos;
}

}  // namespace

std::wstring GrantSequence::DataFolder(const std::wstring& dbPath) {
    const std::wstring pathOnly = PathOnly(dbPath);
    std::wstring folder;
    for (std::size_t i = 0; i < pathOnly.size(); ++i) {
        const bool doubled = pathOnly[i] == L'\\' && !folder.empty() && folder.back() == L'\\' && i > 1;
        if (!doubled) folder += pathOnly[i];
    }
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder.empty() || IsDriveOrShareRoot(folder) ? std::wstring() : folder;
}

void GrantSequence::Start(const std::wstring& commandLine) {
    AwaitLast();
    lastProcess_ = programs_.Launch(commandLine, 0);
    lastCommand_ = commandLine;
}

void GrantSequence::AwaitLast() {
    if (lastProcess_ == 0) return;
    const std::uint32_t process = lastProcess_;
    lastProcess_ = 0;
    std::optional<std::uint32_t> exitCode;
    const bool ended = platform_.awaitProcess(process, kGrantTimeoutMs, &exitCode);
    log_.writeProcessEnd(lastCommand_, process, ended, exitCode);
}

}  // namespace car

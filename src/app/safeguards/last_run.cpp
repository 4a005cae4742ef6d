#include "app/safeguards/last_run.h"

namespace car {
namespace {

constexpr std::size_t kStampLength = 23;  // "2026-12-07 14:20:30.001"

enum class Kind { NotHeader, Run, Check, Recovery };

// A record's first line: "Compact And Repair <version> on <host>, database
// <path>[, kind][ (pid N)]".
Kind KindOf(const std::wstring& text) {
    if (!text.starts_with(L"Compact And Repair ") || text.find(L", database ") == std::wstring::npos) {
        return Kind::NotHeader;
    }
    std::wstring header = text;
    if (const std::size_t tag = header.rfind(L" (pid "); tag != std::wstring::npos && header.ends_with(L')')) {
        header.resize(tag);
    }
    if (header.ends_with(kCheckRecord)) return Kind::Check;
    if (header.ends_with(kRecoveryRecord)) return Kind::Recovery;
    return Kind::Run;
}

std::wstring After(const std::wstring& text, std::wstring_view prefix) { return text.substr(prefix.size()); }

}  // namespace

LastRun LastRun::parse(const std::wstring& logText) {
    std::vector<std::wstring> lines;
    std::vector<std::wstring> stamps;
    for (std::size_t from = 0; from < logText.size();) {
        std::size_t to = logText.find(L'\n', from);
        if (to == std::wstring::npos) to = logText.size();
        std::wstring line = logText.substr(from, to - from);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.size() > kStampLength) {
            stamps.push_back(line.substr(0, kStampLength));
            lines.push_back(line.substr(kStampLength + 1));
        }
        from = to + 1;
    }
    std::vector<Kind> kinds;
    for (const std::wstring& line : lines) kinds.push_back(KindOf(line));

    std::size_t start = lines.size();
    for (std::size_t i = lines.size(); i-- > 0;) {
        if (kinds[i] == Kind::Run) {
            start = i;
            break;
        }
    }
    LastRun run;
    if (start == lines.size()) return run;
    run.startedAt = stamps[start];
    bool settled = false;
    std::size_t i = start + 1;
    for (; i < lines.size() && kinds[i] == Kind::NotHeader; ++i) {
        const std::wstring& text = lines[i];
        if (text.starts_with(L"Outcome: ")) {
            settled = true;
            run.finished = text.starts_with(L"Outcome: finished");
        }
        if (text.starts_with(L"Status: ")) run.lastStatus = After(text, L"Status: ");
        if (text.starts_with(L"Compacting into: ")) run.copy = After(text, L"Compacting into: ");
        if (text.starts_with(kSwapCopyLine)) run.swapCopy = After(text, kSwapCopyLine);
        if (text.starts_with(kSwapBackupLine)) run.swapBackup = After(text, kSwapBackupLine);
        if (text.starts_with(kDependentStopLine)) run.dependents.push_back(After(text, kDependentStopLine));
    }
    // A later start that dealt with the interruption and wrote its outcome.
    for (bool recovery = false; i < lines.size(); ++i) {
        if (kinds[i] != Kind::NotHeader) recovery = kinds[i] == Kind::Recovery;
        if (recovery && lines[i].starts_with(L"Outcome: ")) settled = true;
    }
    run.interrupted = !settled;
    return run;
}

}  // namespace car

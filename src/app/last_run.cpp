#include "app/last_run.h"

#include <vector>

namespace car {
namespace {

constexpr std::size_t kStampLength = 23;  // "2026-12-07 14:20:30.001"

}  // namespace

LastRun LastRun::parse(const std::wstring& logText) {
    std::vector<std::wstring> lines;
    for (std::size_t from = 0; from < logText.size();) {
        std::size_t to = logText.find(L'\n', from);
        if (to == std::wstring::npos) to = logText.size();
        std::wstring line = logText.substr(from, to - from);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.size() > kStampLength) lines.push_back(std::move(line));
        from = to + 1;
    }
    // A run's first line: "<stamp> Compact And Repair <version> on <host>, database <path>".
    std::size_t start = lines.size();
    for (std::size_t i = lines.size(); i-- > 0;) {
        const std::wstring text = lines[i].substr(kStampLength + 1);
        if (text.starts_with(L"Compact And Repair ") && text.find(L", database ") != std::wstring::npos) {
            start = i;
            break;
        }
    }
    LastRun run;
    if (start == lines.size()) return run;
    run.interrupted = true;
    run.startedAt = lines[start].substr(0, kStampLength);
    for (std::size_t i = start + 1; i < lines.size(); ++i) {
        const std::wstring text = lines[i].substr(kStampLength + 1);
        if (text.starts_with(L"Outcome: ")) run.interrupted = false;
        if (text.starts_with(L"Status: ")) run.lastStatus = text.substr(8);
        if (text.starts_with(L"Compacting into: ")) run.copy = text.substr(17);
    }
    return run;
}

}  // namespace car

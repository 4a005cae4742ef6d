#include "event_log.h"

#include <algorithm>

namespace cartest {
namespace {

bool startsWithAny(const std::wstring& entry, std::initializer_list<std::wstring_view> prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](std::wstring_view prefix) { return entry.starts_with(prefix); });
}

}  // namespace

std::vector<std::wstring> EventLog::only(std::initializer_list<std::wstring_view> prefixes) const {
    std::vector<std::wstring> out;
    for (const auto& entry : entries_) {
        if (startsWithAny(entry, prefixes)) out.push_back(entry);
    }
    return out;
}

std::vector<std::wstring> EventLog::without(std::initializer_list<std::wstring_view> prefixes) const {
    std::vector<std::wstring> out;
    for (const auto& entry : entries_) {
        if (!startsWithAny(entry, prefixes)) out.push_back(entry);
    }
    return out;
}

std::size_t EventLog::count(std::wstring_view prefix) const {
    return static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [&](const std::wstring& e) { return e.starts_with(prefix); }));
}

bool EventLog::contains(std::wstring_view entry) const {
    return std::find(entries_.begin(), entries_.end(), entry) != entries_.end();
}

}  // namespace cartest

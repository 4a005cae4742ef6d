// One ordered record of everything the fake platform was asked to do and
// every property the window changed, so a test can assert the exact
// interleaving of calls and status texts.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cartest {

class EventLog {
public:
    void add(std::wstring entry) { entries_.push_back(std::move(entry)); }
    const std::vector<std::wstring>& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    void clear() { entries_.clear(); }

    // Entries that begin with one of the prefixes, in order.
    std::vector<std::wstring> only(std::initializer_list<std::wstring_view> prefixes) const;
    // Entries that begin with none of the prefixes, in order.
    std::vector<std::wstring> without(std::initializer_list<std::wstring_view> prefixes) const;
    std::size_t count(std::wstring_view prefix) const;
    bool contains(std::wstring_view entry) const;

private:
    std::vector<std::wstring> entries_;
};

}  // namespace cartest

// Builds the log a piece of work is expected to leave, call by call, and
// compares it with the real one, reporting the first difference in context.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cartest {

class Expected {
public:
    explicit Expected(float progress = 0.0F) : progress_(progress) {}

    Expected& add(std::wstring entry);
    // One progress step: pump, the bar one notch on (or back to 0 at 10), half a second, pump.
    Expected& step();
    Expected& status(const std::wstring& caption) { return add(L"lblStatus.Caption=" + caption); }
    Expected& set(const std::wstring& control, const std::wstring& property, const std::wstring& value) {
        return add(control + L"." + property + L"=" + value);
    }
    Expected& value(float v);
    // A key probe of a key without default value, or of a missing one: both
    // need the reference read.
    Expected& keyProbe(const std::wstring& key);
    Expected& hostLookup(int calls = 2);
    Expected& wmiQuery(const std::wstring& wql);
    // A grant through a hold: the account looked up, then the entry given.
    Expected& grant(const std::wstring& lookup, const std::wstring& target, const std::wstring& sids,
                    bool inherited = false);

    const std::vector<std::wstring>& entries() const { return entries_; }

private:
    std::vector<std::wstring> entries_;
    float progress_;
};

::testing::AssertionResult sameSequence(const std::vector<std::wstring>& actual, const Expected& expected);
std::string narrow(const std::wstring& text);

}  // namespace cartest

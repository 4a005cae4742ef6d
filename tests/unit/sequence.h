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
    Expected& grant(const std::wstring& commandLine) { return add(L"launch 0 " + commandLine); }

    const std::vector<std::wstring>& entries() const { return entries_; }

private:
    std::vector<std::wstring> entries_;
    float progress_;
};

// The grants' CACLS command lines word for word, in order: six on the
// database file, then six on its folder's tree unless `folder` is empty.
std::vector<std::wstring> grantCommands(const std::wstring& dbPath, const std::wstring& folder,
                                        const std::wstring& host);

::testing::AssertionResult sameSequence(const std::vector<std::wstring>& actual, const Expected& expected);
std::string narrow(const std::wstring& text);

}  // namespace cartest

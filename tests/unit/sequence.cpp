#include "sequence.h"

#include <algorithm>
#include <cstdio>

#include "fake_platform.h"
#include "headless_view.h"

namespace cartest {

Expected& Expected::add(std::wstring entry) {
    entries_.push_back(std::move(entry));
    return *this;
}

Expected& Expected::step() {
    add(L"pump");
    progress_ = progress_ < 10.0F ? progress_ + 1.0F : 0.0F;
    add(L"prjProgress.Value=" + formatNumber(progress_));
    add(L"sleep 500");
    return add(L"pump");
}

Expected& Expected::value(float v) {
    progress_ = v;
    return add(L"prjProgress.Value=" + formatNumber(v));
}

Expected& Expected::keyProbe(const std::wstring& key) {
    add(L"regRead " + key);
    return add(L"regRead HKEY_ERROR\\");
}

Expected& Expected::hostLookup(int calls) {
    for (int i = 0; i < calls; ++i) add(L"getNetworkParams");
    return *this;
}

Expected& Expected::grant(const std::wstring& lookup, const std::wstring& target, const std::wstring& sids,
                          bool inherited) {
    add(lookup);
    return add(L"grantFullControl " + target + L" <- " + sids + (inherited ? L" inherited" : L""));
}

Expected& Expected::wmiQuery(const std::wstring& wql) {
    add(L"connectWmi " + std::wstring(kWmiMoniker));
    return add(L"execQuery " + wql);
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c == L'\r') {
            out += "\\r";
        } else if (c == L'\n') {
            out += "\\n";
        } else if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char code[16];
            std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(c));
            out += code;
        }
    }
    return out;
}

::testing::AssertionResult sameSequence(const std::vector<std::wstring>& actual, const Expected& expected) {
    const auto& want = expected.entries();
    const auto mismatch = std::mismatch(actual.begin(), actual.end(), want.begin(), want.end());
    if (mismatch.first == actual.end() && mismatch.second == want.end()) return ::testing::AssertionSuccess();
    const auto at = static_cast<std::size_t>(mismatch.first - actual.begin());
    auto failure = ::testing::AssertionFailure();
    failure << "sequences differ at entry " << at << " (actual " << actual.size() << " entries, expected "
            << want.size() << ")\n";
    const std::size_t from = at > 4 ? at - 4 : 0;
    for (std::size_t i = from; i < at + 5 && (i < actual.size() || i < want.size()); ++i) {
        failure << (i == at ? "> " : "  ") << i << "  actual: " << (i < actual.size() ? narrow(actual[i]) : "-") << "\n"
                << std::string(std::to_string(i).size() + 4, ' ')
                << "expected: " << (i < want.size() ? narrow(want[i]) : "-") << "\n";
    }
    return failure;
}

}  // namespace cartest

#include "arguments.h"

#include <algorithm>

namespace driver {

bool Arguments::takeFlag(std::wstring_view name) {
    const auto found = std::find(values_.begin(), values_.end(), name);
    if (found == values_.end()) return false;
    values_.erase(found);
    return true;
}

std::optional<std::wstring> Arguments::takeOption(std::wstring_view name) {
    const auto found = std::find(values_.begin(), values_.end(), name);
    if (found == values_.end()) return std::nullopt;
    std::wstring value;
    const auto next = found + 1;
    if (next != values_.end()) {
        value = *next;
        values_.erase(found, next + 1);
    } else {
        values_.erase(found);
    }
    return value;
}

std::optional<unsigned long> parseCount(std::wstring_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    unsigned long value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(c - L'0');
    }
    return value;
}

}  // namespace driver

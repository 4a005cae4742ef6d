// Names as a sentence lists them: "A", "A and B", "A, B and C".
#pragma once

#include <string>
#include <vector>

namespace car {

inline std::wstring JoinedWithAnd(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? L"" : i + 1 == names.size() ? L" and " : L", ") + names[i];
    }
    return text;
}

}  // namespace car

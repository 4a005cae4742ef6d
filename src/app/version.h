// The program's version, as its version resource gives it.
#pragma once

#include <string_view>

namespace car {

inline constexpr std::wstring_view kProgramVersion = L"1.0.0";

}  // namespace car

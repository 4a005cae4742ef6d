// The program's version, as its version resource gives it.
#pragma once

#include <string_view>

#include "resources/version.h"

namespace car {

inline constexpr std::wstring_view kProgramVersion = L"" CAR_VERSION_TEXT;

}  // namespace car

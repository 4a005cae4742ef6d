// The conversions a scripting runtime makes of a registry value when the
// program uses it as text or compares it with a number.
#pragma once

#include <string>

#include "platform/platform.h"

namespace car {

std::wstring RegValueToText(const RegValue& value);
double RegValueToNumber(const RegValue& value);

}  // namespace car

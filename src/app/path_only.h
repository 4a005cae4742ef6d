// The folder part of a path.
#pragma once

#include <string>

namespace car {

// Up to and with the last backslash; empty for a name without a folder.
inline std::wstring PathOnly(const std::wstring& path) {
    const std::size_t lastBackslash = path.rfind(L'\\');
    return lastBackslash == std::wstring::npos ? std::wstring() : path.substr(0, lastBackslash + 1);
}

}  // namespace car

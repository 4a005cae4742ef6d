// The names a run gives beside the database: "<database>.<n>.tmp" for the
// engine's copy and the same with "Backup" added for the old database, n from
// 0 to 899 in plain digits. Only such names are ever removed as a run's own.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace car {

// Added to the engine's copy's name when the copy lacked data and is kept
// beside the database instead of taking its name.
inline constexpr wchar_t kIncompleteEnding[] = L"Incomplete";

// Whether `path` is `dbPath` + "." + n + `ending`, compared without regard to
// case as Windows compares names.
inline bool IsRunFileOf(const std::wstring& path, const std::wstring& dbPath, std::wstring_view ending) {
    const std::wstring name = lowerCase(path);
    const std::wstring prefix = lowerCase(dbPath) + L".";
    const std::wstring suffix = lowerCase(std::wstring(ending));
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix)) {
        return false;
    }
    const std::wstring number = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (number.size() > 3 || (number.size() > 1 && number[0] == L'0') ||
        number.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return false;
    }
    return std::stoi(number) < 900;
}

}  // namespace car

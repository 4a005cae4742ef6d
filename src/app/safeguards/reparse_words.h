// How a reparse point, or a file with a second name, is named in what the
// run says and logs.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace car {

inline std::wstring ReparseWords(ReparseKind kind) {
    switch (kind) {
        case ReparseKind::VolumeMountPoint:
            return L"a volume mount point";
        case ReparseKind::Junction:
            return L"a junction";
        case ReparseKind::SymbolicLink:
            return L"a symbolic link";
        case ReparseKind::None:
            return L"no reparse point";
        case ReparseKind::Other:
            break;
    }
    return L"a reparse point";
}

// Why a file with more names than one is not acted on.
inline std::wstring SecondNameWords(std::uint32_t names) {
    return L"it has " + std::to_wstring(names) + L" names: another name of the file (a hard link) stands elsewhere";
}

}  // namespace car

// How a reparse point is named in what the run says and logs.
#pragma once

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

}  // namespace car

// What kind of reparse point a name is, read through a handle opened on the
// name itself (FILE_FLAG_OPEN_REPARSE_POINT), so that nothing is followed.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace car::win32 {

// None when `attributes` (the file's, as the handle sees them) have no
// reparse point; otherwise the kind its reparse data says, Other when the
// data cannot be read.
ReparseKind reparseKindOf(HANDLE handle, DWORD attributes);

}  // namespace car::win32

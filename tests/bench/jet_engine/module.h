// The DLL's own state: its module handle and the count of live objects and server locks.
#pragma once

#include <windows.h>

namespace jet {

HMODULE module_handle();
void module_add_ref();
void module_release();
bool module_in_use();

}  // namespace jet

// The DLL's own state: its class as COM and regsvr32 see it, and the count of live objects and
// server locks (kept by the bench's COM server helpers).
#pragma once

#include "com_server.h"

namespace jet {

extern const bench::com::ServerClass kServer;

using bench::com::module_add_ref;
using bench::com::module_in_use;
using bench::com::module_release;

}  // namespace jet

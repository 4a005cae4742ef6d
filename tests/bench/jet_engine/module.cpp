// The DLL's one class, whose entry points for COM and regsvr32 the bench's COM server helpers export.
#include "module.h"

#include "engine_clsid.h"
#include "engine_object.h"

namespace jet {

// "Jro.JetEngine" and "Jro.JetEngine.2.6" lead to the class.
const bench::com::ServerClass kServer{
    .clsid = kEngineClsid,
    .clsid_text = kEngineClsidText,
    .versioned_prog_id = kVersionedProgId,
    .prog_id = kProgId,
    .description = L"JET engine stand-in for the test bench",
    .threading_model = L"Both",
    .create = create_engine,
};

}  // namespace jet

const bench::com::ServerClass& bench::com::server_class() { return jet::kServer; }

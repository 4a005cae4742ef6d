// The DLL's one class, "DAO.DBEngine.36", whose entry points for COM and regsvr32 the bench's COM
// server helpers export. DAO is apartment-threaded.
#include "com_server.h"
#include "dao_clsid.h"
#include "dao_objects.h"

namespace dao {
namespace {

const bench::com::ServerClass kServer{
    .clsid = kEngineClsid,
    .clsid_text = kEngineClsidText,
    .versioned_prog_id = kProgId,
    .prog_id = nullptr,
    .description = L"DAO engine stand-in for the test bench",
    .threading_model = L"Apartment",
    .create = create_engine,
};

}  // namespace
}  // namespace dao

const bench::com::ServerClass& bench::com::server_class() { return dao::kServer; }

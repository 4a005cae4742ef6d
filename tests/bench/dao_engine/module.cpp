// The DLL's entry points for COM and regsvr32: the class object, the unload check and the
// registration of the ProgID "DAO.DBEngine.36". DAO is apartment-threaded.
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

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        bench::com::set_module_handle(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    return bench::com::get_class_object(dao::kServer, clsid, riid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return bench::com::module_in_use() ? S_FALSE : S_OK; }

HRESULT STDAPICALLTYPE DllRegisterServer() { return bench::com::register_server(dao::kServer); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return bench::com::unregister_server(dao::kServer); }

}  // extern "C"

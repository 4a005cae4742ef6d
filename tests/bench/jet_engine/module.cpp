// The DLL's entry points for COM: the class object and the unload check.
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

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        bench::com::set_module_handle(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    return bench::com::get_class_object(jet::kServer, clsid, riid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return bench::com::module_in_use() ? S_FALSE : S_OK; }

}  // extern "C"

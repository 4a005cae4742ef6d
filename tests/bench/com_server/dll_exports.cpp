// The entry points every in-process COM server of the bench exports, for COM and regsvr32, all
// for the one class that the DLL's server_class() names.
#include "com_server.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        bench::com::set_module_handle(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    return bench::com::get_class_object(bench::com::server_class(), clsid, riid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return bench::com::module_in_use() ? S_FALSE : S_OK; }

HRESULT STDAPICALLTYPE DllRegisterServer() { return bench::com::register_server(bench::com::server_class()); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return bench::com::unregister_server(bench::com::server_class()); }

}  // extern "C"

// The DLL's entry points for COM: the class object and the unload check.
#include "module.h"

#include "engine_clsid.h"
#include "engine_object.h"

#include <unknwn.h>

namespace jet {
namespace {

HMODULE g_module = nullptr;
LONG g_users = 0;  // live engine objects plus LockServer locks

// One class object for the life of the DLL; its references do not keep the DLL loaded, as usual.
// COM interfaces have no virtual destructor by design; this object is static and never deleted.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class EngineFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object != nullptr) {
            *object = nullptr;
        }
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return create_engine(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            module_add_ref();
        } else {
            module_release();
        }
        return S_OK;
    }
};
#pragma GCC diagnostic pop

EngineFactory g_factory;

}  // namespace

HMODULE module_handle() { return g_module; }
void module_add_ref() { InterlockedIncrement(&g_users); }
void module_release() { InterlockedDecrement(&g_users); }
bool module_in_use() { return InterlockedCompareExchange(&g_users, 0, 0) != 0; }

}  // namespace jet

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        jet::g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualCLSID(clsid, jet::kEngineClsid)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return jet::g_factory.QueryInterface(riid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return jet::module_in_use() ? S_FALSE : S_OK; }

}  // extern "C"

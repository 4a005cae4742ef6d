#include "engine_object.h"

#include "compact_database.h"
#include "jet_error.h"
#include "module.h"

#include <memory>
#include <new>
#include <string>

#include "platform/win32/com.h"
#include "privileges.h"

namespace jet {
namespace {

using car::win32::Variant;

constexpr wchar_t kErrorSource[] = L"Microsoft JET Database Engine";

// Reads a positional argument as text, the way an automation caller's variant would be coerced.
HRESULT argument_text(VARIANT& argument, std::wstring& text) {
    VARIANT* value = &argument;
    if (V_VT(value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(value) != nullptr) {
        value = V_VARIANTREF(value);
    }
    Variant converted;
    const HRESULT hr = VariantChangeType(converted.put(), value, 0, VT_BSTR);
    if (FAILED(hr)) {
        return DISP_E_TYPEMISMATCH;
    }
    const BSTR raw = V_BSTR(&converted.get());
    text = raw == nullptr ? std::wstring() : std::wstring(raw, SysStringLen(raw));
    return S_OK;
}

// Also publishes the failure as the thread's error object, for callers that ask ISupportErrorInfo.
void set_error_info(const JetError* error) {
    if (error == nullptr) {
        SetErrorInfo(0, nullptr);
        return;
    }
    bench::com::publish_error_info(kErrorSource, error->description);
}

// COM interfaces have no virtual destructor by design: the object is only ever destroyed as itself,
// by its own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class JetEngine final : public IDispatch, public ISupportErrorInfo {
public:
    JetEngine() { module_add_ref(); }
    JetEngine(const JetEngine&) = delete;
    JetEngine& operator=(const JetEngine&) = delete;
    ~JetEngine() { module_release(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return bench::com::query_dispatch(this, this, riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            // The last reference owns the object.
            std::unique_ptr<JetEngine> self(this);
        }
        return static_cast<ULONG>(left);
    }

    // IDispatch: no type information, one method found by name.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) {
            *info = nullptr;
        }
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!IsEqualIID(riid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        if (names == nullptr || ids == nullptr || count == 0) {
            return E_INVALIDARG;
        }
        // Arguments are positional only, so every name after the member's is unknown.
        HRESULT result = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            result = DISP_E_UNKNOWNNAME;
        }
        if (names[0] != nullptr && CompareStringOrdinal(names[0], -1, L"CompactDatabase", -1, TRUE) == CSTR_EQUAL) {
            ids[0] = kCompactDatabaseId;
            result = count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* bad_argument) override {
        if (!IsEqualIID(riid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        if (id != kCompactDatabaseId || (flags & DISPATCH_METHOD) == 0) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (params == nullptr) {
            return E_INVALIDARG;
        }
        if (params->cNamedArgs != 0) {
            return DISP_E_NONAMEDARGS;
        }
        if (params->cArgs != 2 || params->rgvarg == nullptr) {
            return DISP_E_BADPARAMCOUNT;
        }
        // Automation passes arguments last first.
        std::wstring source;
        std::wstring destination;
        for (UINT index : {1U, 0U}) {
            const HRESULT hr = argument_text(params->rgvarg[index], index == 1 ? source : destination);
            if (FAILED(hr)) {
                if (bad_argument != nullptr) {
                    *bad_argument = index;
                }
                return hr;
            }
        }
        if (result != nullptr) {
            VariantInit(result);
        }
        // The program runs the engine in a process of its own: what that
        // process was given is the bench's to see.
        bench::RecordPrivileges(L"jet_engine.dll");
        try {
            compact_database(source, destination);
            set_error_info(nullptr);
            return S_OK;
        } catch (const JetError& error) {
            return report(error, exception);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualIID(riid, IID_IDispatch) ? S_OK : S_FALSE;
    }

private:
    static HRESULT report(const JetError& error, EXCEPINFO* exception) {
        set_error_info(&error);
        if (exception == nullptr) {
            return error.number;
        }
        *exception = EXCEPINFO{};
        exception->scode = error.number;
        // The caller frees EXCEPINFO's strings, so they are allocated for it here and never owned.
        exception->bstrSource = SysAllocString(kErrorSource);
        exception->bstrDescription =
            SysAllocStringLen(error.description.data(), static_cast<UINT>(error.description.size()));
        return DISP_E_EXCEPTION;
    }

    LONG references_ = 1;
};
#pragma GCC diagnostic pop

}  // namespace

HRESULT create_engine(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    std::unique_ptr<JetEngine> engine;
    try {
        engine = std::make_unique<JetEngine>();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // The object starts with one reference, which this call gives back after the query.
    JetEngine* raw = engine.release();
    const HRESULT hr = raw->QueryInterface(riid, object);
    raw->Release();
    return hr;
}

}  // namespace jet

#include "dispatch_object.h"

#include <algorithm>
#include <utility>

#include "com_server.h"

namespace dao {
namespace {

// DAO's errors point into the JET engine's help file, a topic per number.
constexpr wchar_t kHelpFile[] = L"jeterr40.chm";
constexpr DWORD kHelpContextBase = 5000000;

BSTR allocate(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

}  // namespace

void Arguments::expect(std::size_t least, std::size_t most) const {
    if (size() < least || size() > most) {
        throw CallError{DISP_E_BADPARAMCOUNT};
    }
}

const VARIANT& Arguments::at(std::size_t index) const {
    const VARIANT& argument = params_.rgvarg[size() - 1 - index];
    // A caller passing its own variable hands a reference to it.
    if (V_VT(&argument) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&argument) != nullptr) {
        return *V_VARIANTREF(&argument);
    }
    return argument;
}

bool Arguments::missing(std::size_t index) const {
    if (index >= size()) {
        return true;
    }
    const VARIANT& argument = at(index);
    return V_VT(&argument) == VT_ERROR && V_ERROR(&argument) == DISP_E_PARAMNOTFOUND;
}

bool Arguments::is_text(std::size_t index) const {
    return index < size() && (V_VT(&at(index)) & VT_TYPEMASK) == VT_BSTR;
}

void Arguments::coerce(std::size_t index, VARTYPE type, car::win32::Variant& into) const {
    if (index >= size() || FAILED(VariantChangeType(into.put(), const_cast<VARIANT*>(&at(index)), 0, type))) {
        throw CallError{DISP_E_TYPEMISMATCH, index};
    }
}

std::wstring Arguments::text(std::size_t index) const {
    car::win32::Variant value;
    coerce(index, VT_BSTR, value);
    return car::win32::bstrText(V_BSTR(&value.get()));
}

bool Arguments::flag(std::size_t index, bool fallback) const {
    if (missing(index)) {
        return fallback;
    }
    car::win32::Variant value;
    coerce(index, VT_BOOL, value);
    return V_BOOL(&value.get()) != VARIANT_FALSE;
}

std::int32_t Arguments::number(std::size_t index) const {
    car::win32::Variant value;
    coerce(index, VT_I4, value);
    return V_I4(&value.get());
}

DispatchObject::DispatchObject() { bench::com::module_add_ref(); }
DispatchObject::~DispatchObject() { bench::com::module_release(); }

HRESULT DispatchObject::QueryInterface(REFIID riid, void** object) {
    return bench::com::query_dispatch(this, this, riid, object);
}

ULONG DispatchObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG DispatchObject::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        // The last reference owns the object.
        std::unique_ptr<DispatchObject> self(this);
    }
    return static_cast<ULONG>(left);
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) {
        *info = nullptr;
    }
    return DISP_E_BADINDEX;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (names == nullptr || ids == nullptr || count == 0) {
        return E_INVALIDARG;
    }
    // Arguments are positional only: every name after the member's is unknown.
    std::fill(ids, ids + count, DISPID_UNKNOWN);
    HRESULT result = DISP_E_UNKNOWNNAME;
    for (const Member& member : members()) {
        if (names[0] != nullptr && CompareStringOrdinal(names[0], -1, member.name, -1, TRUE) == CSTR_EQUAL) {
            ids[0] = member.id;
            result = count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return result;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* exception, UINT* bad_argument) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    const auto known = members();
    if (std::none_of(known.begin(), known.end(), [id](const Member& member) { return member.id == id; })) {
        return DISP_E_MEMBERNOTFOUND;
    }
    DISPPARAMS none{};
    const DISPPARAMS& given = params != nullptr ? *params : none;
    if (given.cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    if (given.cArgs != 0 && given.rgvarg == nullptr) {
        return E_INVALIDARG;
    }
    car::win32::Variant answer;
    try {
        call(id, flags, Arguments(given), answer.get());
    } catch (const DaoError& error) {
        return raise(error, exception);
    } catch (const CallError& error) {
        if (bad_argument != nullptr && error.hr == DISP_E_TYPEMISMATCH) {
            *bad_argument = static_cast<UINT>(given.cArgs - 1 - error.argument);
        }
        return error.hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
    SetErrorInfo(0, nullptr);
    if (result != nullptr) {
        // The caller's now: the owner is left empty.
        *result = std::exchange(answer.get(), VARIANT{});
    }
    return S_OK;
}

HRESULT DispatchObject::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IDispatch) ? S_OK : S_FALSE;
}

void DispatchObject::require(WORD flags, WORD kind) {
    if ((flags & kind) == 0) {
        throw CallError{DISP_E_MEMBERNOTFOUND};
    }
}

HRESULT DispatchObject::raise(const DaoError& error, EXCEPINFO* exception) const {
    const wchar_t* const from = error.source != nullptr ? error.source : source();
    bench::com::publish_error_info(from, error.description, kHelpFile,
                                   kHelpContextBase + static_cast<DWORD>(error.number));
    if (exception == nullptr) {
        return DISP_E_EXCEPTION;
    }
    // The caller frees EXCEPINFO's strings. An object's own error goes in wCode, scode stays 0.
    *exception = EXCEPINFO{};
    exception->wCode = static_cast<WORD>(error.number);
    exception->bstrSource = SysAllocString(from);
    exception->bstrDescription = allocate(error.description);
    exception->bstrHelpFile = SysAllocString(kHelpFile);
    exception->dwHelpContext = kHelpContextBase + static_cast<DWORD>(error.number);
    return DISP_E_EXCEPTION;
}

void answer_object(VARIANT& result, ComPtr<IDispatch> object) {
    // A reference of the variant's own; the owner's goes with it.
    object->AddRef();
    V_VT(&result) = VT_DISPATCH;
    V_DISPATCH(&result) = object.get();
}

void answer_text(VARIANT& result, const std::wstring& text) {
    const BSTR value = allocate(text);
    if (value == nullptr) {
        throw std::bad_alloc();
    }
    V_VT(&result) = VT_BSTR;
    V_BSTR(&result) = value;
}

void answer_long(VARIANT& result, std::int32_t value) {
    V_VT(&result) = VT_I4;
    V_I4(&result) = value;
}

void answer_short(VARIANT& result, std::int16_t value) {
    V_VT(&result) = VT_I2;
    V_I2(&result) = value;
}

}  // namespace dao

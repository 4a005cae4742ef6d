// Owners for COM resources: an interface pointer, a BSTR, a VARIANT and the
// thread's apartment. Deliberately small; they own and release, nothing more.
// Beside them, what an automation object's exception becomes.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/win32/error_text.h"
#include "platform/win32/system_library.h"

namespace car::win32 {

// The automation library's functions for BSTRs and VARIANTs, loaded with the
// first of them. A string or variant that holds something came from that
// library, so a system without it has nothing to free.
namespace automation {

inline constexpr const wchar_t* kLibrary = L"oleaut32.dll";
// What a call fails with where the library or the function is missing.
inline constexpr HRESULT kMissing = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);

inline BSTR allocString(const wchar_t* text, UINT length) noexcept {
    static const auto function = systemFunction<decltype(::SysAllocStringLen)>(kLibrary, "SysAllocStringLen");
    return function != nullptr ? function(text, length) : nullptr;
}
inline void freeString(BSTR bstr) noexcept {
    static const auto function = systemFunction<decltype(::SysFreeString)>(kLibrary, "SysFreeString");
    if (function != nullptr) function(bstr);
}
inline UINT stringLength(BSTR bstr) noexcept {
    static const auto function = systemFunction<decltype(::SysStringLen)>(kLibrary, "SysStringLen");
    return function != nullptr ? function(bstr) : 0;
}
// What VariantInit does, without the library: an empty variant.
inline void initVariant(VARIANT& variant) noexcept { variant.vt = VT_EMPTY; }
inline HRESULT clearVariant(VARIANT& variant) noexcept {
    if (variant.vt == VT_EMPTY) return S_OK;
    static const auto function = systemFunction<decltype(::VariantClear)>(kLibrary, "VariantClear");
    return function != nullptr ? function(&variant) : kMissing;
}
inline HRESULT changeType(VARIANT& destination, VARIANT& source, VARTYPE type) noexcept {
    static const auto function = systemFunction<decltype(::VariantChangeType)>(kLibrary, "VariantChangeType");
    return function != nullptr ? function(&destination, &source, 0, type) : kMissing;
}

}  // namespace automation

// A BSTR's text up to its first NUL: some servers hand out BSTRs whose length
// counts padding behind the text.
inline std::wstring bstrText(BSTR bstr) {
    if (bstr == nullptr) return {};
    std::wstring text(bstr, automation::stringLength(bstr));
    text.resize(std::min(text.size(), text.find(L'\0')));
    return text;
}

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const noexcept { return pointer_; }
    T* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    // For out parameters of type T**; releases what was held before.
    T** put() noexcept {
        reset();
        return &pointer_;
    }
    // For out parameters of type void** (CoCreateInstance, QueryInterface).
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

    void reset() noexcept {
        if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
    }

private:
    T* pointer_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text)
        : bstr_(automation::allocString(text.data(), static_cast<UINT>(text.size()))) {
        if (bstr_ == nullptr) throw hresultError(E_OUTOFMEMORY);
    }
    Bstr(Bstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) {
            reset();
            bstr_ = std::exchange(other.bstr_, nullptr);
        }
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { reset(); }

    BSTR get() const noexcept { return bstr_; }
    BSTR* put() noexcept {
        reset();
        return &bstr_;
    }
    // Takes over a BSTR that a callee allocated (EXCEPINFO's fields, say).
    void adopt(BSTR bstr) noexcept {
        reset();
        bstr_ = bstr;
    }
    std::wstring str() const { return bstrText(bstr_); }
    void reset() noexcept {
        if (bstr_ != nullptr) automation::freeString(std::exchange(bstr_, nullptr));
    }

private:
    BSTR bstr_ = nullptr;
};

class Variant {
public:
    Variant() noexcept { automation::initVariant(variant_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { automation::clearVariant(variant_); }

    const VARIANT& get() const noexcept { return variant_; }
    VARIANT& get() noexcept { return variant_; }
    // For out parameters; clears what was held before.
    VARIANT* put() noexcept {
        automation::clearVariant(variant_);
        return &variant_;
    }

private:
    VARIANT variant_;
};

// The failure an automation object raised (Invoke's DISP_E_EXCEPTION), as
// its EXCEPINFO tells it; the EXCEPINFO's strings are freed here.
inline Error exceptionError(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    Bstr source, description, helpFile;
    source.adopt(info.bstrSource);
    description.adopt(info.bstrDescription);
    helpFile.adopt(info.bstrHelpFile);
    // A wCode is the object's own error number; as an HRESULT it lives under
    // FACILITY_CONTROL, where the scripting runtime keeps its numbers too.
    HRESULT number = info.scode;
    if (number == S_OK)
        number = info.wCode != 0 ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info.wCode) : DISP_E_EXCEPTION;
    std::wstring text = description.str();
    if (text.empty()) text = describeHresult(number);
    return Error{static_cast<std::int32_t>(number), std::move(text)};
}

// Joins the calling thread to an apartment for its lifetime: a
// single-threaded one unless the thread asks for the multithreaded one (a
// worker that waits without handling window messages).
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) { check(::CoInitializeEx(nullptr, model)); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { ::CoUninitialize(); }
};

}  // namespace car::win32

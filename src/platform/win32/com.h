// Owners for COM resources: an interface pointer, a BSTR, a VARIANT and the
// thread's apartment. Deliberately small; they own and release, nothing more.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/win32/error_text.h"

namespace car::win32 {

// A BSTR's text up to its first NUL: some servers hand out BSTRs whose length
// counts padding behind the text.
inline std::wstring bstrText(BSTR bstr) {
    if (bstr == nullptr) return {};
    std::wstring text(bstr, ::SysStringLen(bstr));
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
    explicit Bstr(const std::wstring& text) : bstr_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
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
        if (bstr_ != nullptr) ::SysFreeString(std::exchange(bstr_, nullptr));
    }

private:
    BSTR bstr_ = nullptr;
};

class Variant {
public:
    Variant() noexcept { ::VariantInit(&variant_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { ::VariantClear(&variant_); }

    const VARIANT& get() const noexcept { return variant_; }
    VARIANT& get() noexcept { return variant_; }
    // For out parameters; clears what was held before.
    VARIANT* put() noexcept {
        ::VariantClear(&variant_);
        return &variant_;
    }

private:
    VARIANT variant_;
};

// Joins the calling thread to a single-threaded apartment for its lifetime.
class ComApartment {
public:
    ComApartment() { check(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { ::CoUninitialize(); }
};

}  // namespace car::win32

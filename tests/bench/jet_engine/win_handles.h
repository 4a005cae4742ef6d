// Owners for the few Windows resources the engine stand-in and its test client hold.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <utility>

namespace jet {

// A kernel handle from CreateFileW and friends; INVALID_HANDLE_VALUE and null both mean "none".
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    [[nodiscard]] bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    [[nodiscard]] HANDLE get() const { return handle_; }
    void reset() {
        if (valid()) {
            CloseHandle(handle_);
        }
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

// A registry key opened or created by us.
class UniqueHkey {
public:
    UniqueHkey() = default;
    UniqueHkey(const UniqueHkey&) = delete;
    UniqueHkey& operator=(const UniqueHkey&) = delete;
    ~UniqueHkey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    [[nodiscard]] HKEY get() const { return key_; }
    HKEY* put() { return &key_; }

private:
    HKEY key_ = nullptr;
};

// A BSTR we own; SysFreeString on the way out.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text) : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(Bstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) {
            SysFreeString(bstr_);
            bstr_ = std::exchange(other.bstr_, nullptr);
        }
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(bstr_); }

    // Takes over a BSTR that a callee allocated for us.
    static Bstr adopt(BSTR raw) {
        Bstr owned;
        owned.bstr_ = raw;
        return owned;
    }
    [[nodiscard]] BSTR get() const { return bstr_; }
    // Hands the string to a caller that frees it (EXCEPINFO, out parameters).
    BSTR release() { return std::exchange(bstr_, nullptr); }
    BSTR* put() {
        SysFreeString(bstr_);
        bstr_ = nullptr;
        return &bstr_;
    }
    [[nodiscard]] std::wstring str() const {
        return bstr_ == nullptr ? std::wstring() : std::wstring(bstr_, SysStringLen(bstr_));
    }

private:
    BSTR bstr_ = nullptr;
};

// A VARIANT that is always cleared.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&value_); }
    VARIANT* get() { return &value_; }
    [[nodiscard]] const VARIANT* get() const { return &value_; }

private:
    VARIANT value_;
};

// A COM interface pointer we hold a reference on.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (ptr_ != nullptr) {
            ptr_->Release();
        }
    }
    Interface* operator->() const { return ptr_; }
    [[nodiscard]] Interface* get() const { return ptr_; }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    Interface** put() {
        if (ptr_ != nullptr) {
            ptr_->Release();
            ptr_ = nullptr;
        }
        return &ptr_;
    }

private:
    Interface* ptr_ = nullptr;
};

}  // namespace jet

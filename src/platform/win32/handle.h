// Owners for kernel handles and registry keys, so that no early return or
// thrown Error leaks one.
#pragma once

#include <windows.h>

#include <utility>

namespace car::win32 {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    HANDLE get() const noexcept { return handle_; }
    // Both "no handle" spellings of the kernel count as empty.
    explicit operator bool() const noexcept { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void reset(HANDLE handle = nullptr) noexcept {
        if (*this) ::CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

class UniqueHkey {
public:
    UniqueHkey() = default;
    UniqueHkey(UniqueHkey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    UniqueHkey& operator=(UniqueHkey&& other) noexcept {
        if (this != &other) {
            reset();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }
    UniqueHkey(const UniqueHkey&) = delete;
    UniqueHkey& operator=(const UniqueHkey&) = delete;
    ~UniqueHkey() { reset(); }

    HKEY get() const noexcept { return key_; }
    // For RegOpenKeyExW's out parameter; releases what was held before.
    HKEY* put() noexcept {
        reset();
        return &key_;
    }
    void reset() noexcept {
        if (key_ != nullptr) ::RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

// For memory the system hands out with LocalAlloc (a security descriptor,
// the shell's split command line): std::unique_ptr<T, LocalFreeDeleter>.
struct LocalFreeDeleter {
    void operator()(void* block) const noexcept { ::LocalFree(block); }
};

}  // namespace car::win32

// The run's lock, seen by every session of the machine: a named mutex that
// only SYSTEM and administrators may open. In the global namespace anyone may
// make a name first, so a mutex found there is trusted only when a run could
// have made it. In a private namespace bounded by the administrators group
// nobody else can make or open the name at all, which is why that one is
// tried first.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <utility>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/trusted_accounts.h"
#include "platform/win32/system/win32_platform.h"

namespace car {
namespace {

// Full control for SYSTEM and the administrators group, nothing for anyone
// else and nothing inherited: for the mutex and for the namespace.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";
constexpr wchar_t kBoundaryName[] = L"Compact And Repair";
constexpr wchar_t kNamespacePrefix[] = L"CompactAndRepair";

using LocalDescriptor = std::unique_ptr<void, win32::LocalFreeDeleter>;

LocalDescriptor administratorsOnly() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
        win32::throwLastError(L"The run's lock could not be described.");
    }
    return LocalDescriptor(descriptor);
}

class MutexLock final : public Held {
public:
    explicit MutexLock(win32::UniqueHandle mutex) : mutex_(std::move(mutex)) {}
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    ~MutexLock() override { ::ReleaseMutex(mutex_.get()); }

private:
    win32::UniqueHandle mutex_;
};

// A handle of a private namespace, which has a closing call of its own.
class PrivateNamespace {
public:
    explicit PrivateNamespace(HANDLE handle) noexcept : handle_(handle) {}
    PrivateNamespace(PrivateNamespace&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    PrivateNamespace& operator=(PrivateNamespace&&) = delete;
    PrivateNamespace(const PrivateNamespace&) = delete;
    PrivateNamespace& operator=(const PrivateNamespace&) = delete;
    // Without destroying it: another run may still hold it open.
    ~PrivateNamespace() {
        if (handle_ != nullptr) ::ClosePrivateNamespace(handle_, 0);
    }

private:
    HANDLE handle_;
};

// The namespace outlives the mutex made in it: members go in reverse order.
class NamespaceLock final : public Held {
public:
    NamespaceLock(PrivateNamespace space, win32::UniqueHandle mutex)
        : space_(std::move(space)), mutex_(std::move(mutex)) {}

private:
    PrivateNamespace space_;
    MutexLock mutex_;
};

// A boundary that only a process of the administrators group is within.
// Null where the system has no boundary descriptors (Wine's is a stub).
class AdministratorsBoundary {
public:
    AdministratorsBoundary() : handle_(::CreateBoundaryDescriptorW(kBoundaryName, 0)) {
        if (handle_ == nullptr) return;
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof sid;
        if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) ||
            !::AddSIDToBoundaryDescriptor(&handle_, sid)) {
            const DWORD error = ::GetLastError();
            ::DeleteBoundaryDescriptor(handle_);
            throw win32::win32Error(error);
        }
    }
    AdministratorsBoundary(const AdministratorsBoundary&) = delete;
    AdministratorsBoundary& operator=(const AdministratorsBoundary&) = delete;
    ~AdministratorsBoundary() {
        if (handle_ != nullptr) ::DeleteBoundaryDescriptor(handle_);
    }
    HANDLE get() const noexcept { return handle_; }

private:
    HANDLE handle_;
};

PrivateNamespace administratorsNamespace(const AdministratorsBoundary& boundary) {
    const LocalDescriptor descriptor = administratorsOnly();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    // Another run's namespace is opened; one that went with its last holder
    // between the two calls is made afresh, once.
    for (int attempt = 0;; ++attempt) {
        if (const HANDLE made = ::CreatePrivateNamespaceW(&attributes, boundary.get(), kNamespacePrefix))
            return PrivateNamespace(made);
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
        if (const HANDLE opened = ::OpenPrivateNamespaceW(boundary.get(), kNamespacePrefix))
            return PrivateNamespace(opened);
        if (attempt == 1) break;
    }
    win32::throwLastError(L"The run's lock could not be made.");
}

// The mutex of that name, made or opened; null when that fails. `made` is
// the call's last error: ERROR_ALREADY_EXISTS for a mutex that was there.
win32::UniqueHandle administratorsMutex(const std::wstring& name, DWORD& made) {
    const LocalDescriptor descriptor = administratorsOnly();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    win32::UniqueHandle mutex(::CreateMutexW(&attributes, FALSE, name.c_str()));
    made = ::GetLastError();
    return mutex;
}

// Waits for nobody: a lock held elsewhere is reported, not waited for.
bool takeNow(HANDLE mutex, const std::wstring& name) {
    switch (::WaitForSingleObject(mutex, 0)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:  // a run that was killed: its lock is free again
            return true;
        case WAIT_TIMEOUT:
            return false;
        default:
            win32::throwLastErrorAbout(name);
    }
}

LockAttempt outcome(LockAttempt::Outcome outcome) {
    LockAttempt attempt;
    attempt.outcome = outcome;
    return attempt;
}

// The owner of a kernel object (null for an object without one), read
// through a handle with READ_CONTROL; `keeper` holds what it points into.
bool readOwner(HANDLE object, LocalDescriptor& keeper, PSID& owner) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    owner = nullptr;
    const DWORD error = ::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                          nullptr, nullptr, &descriptor);
    keeper.reset(descriptor);
    ::SetLastError(error);
    return error == ERROR_SUCCESS;
}

// "DOMAIN\name" (the name alone for an account without a domain), the SID
// as text when the system cannot name it; empty for no owner.
std::wstring accountName(PSID sid) {
    if (sid == nullptr) return {};
    wchar_t name[257];
    wchar_t domain[257];
    DWORD nameLength = 257;
    DWORD domainLength = 257;
    SID_NAME_USE use{};
    if (::LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use))
        return domainLength == 0 ? std::wstring(name) : std::wstring(domain) + L"\\" + name;
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return {};
    const std::unique_ptr<wchar_t, win32::LocalFreeDeleter> owned(text);
    return text;
}

LockAttempt foreignOwner(std::wstring owner) {
    LockAttempt attempt = outcome(LockAttempt::Outcome::ForeignOwner);
    attempt.owner = std::move(owner);
    return attempt;
}

}  // namespace

LockAttempt Win32Platform::lockInAdministratorsNamespace(const std::wstring& name) {
    const AdministratorsBoundary boundary;
    // Where the boundary cannot be made, the namespace is never asked for:
    // Wine ends the process that calls its unimplemented namespace function.
    if (boundary.get() == nullptr) return outcome(LockAttempt::Outcome::Unsupported);
    PrivateNamespace space = administratorsNamespace(boundary);
    const std::wstring fullName = std::wstring(kNamespacePrefix) + L"\\" + name;
    DWORD made = 0;
    win32::UniqueHandle mutex = administratorsMutex(fullName, made);
    if (!mutex) {
        ::SetLastError(made);
        win32::throwLastErrorAbout(fullName);
    }
    if (!takeNow(mutex.get(), fullName)) return outcome(LockAttempt::Outcome::HeldByAnother);
    LockAttempt attempt = outcome(LockAttempt::Outcome::Taken);
    attempt.lock = std::make_unique<NamespaceLock>(std::move(space), std::move(mutex));
    return attempt;
}

LockAttempt Win32Platform::lockMachineWide(const std::wstring& name) {
    DWORD made = 0;
    win32::UniqueHandle mutex = administratorsMutex(name, made);
    LocalDescriptor keeper;
    PSID owner = nullptr;
    if (!mutex) {
        if (made != ERROR_ACCESS_DENIED) {
            ::SetLastError(made);
            win32::throwLastErrorAbout(name);
        }
        // Made by someone with an access list that shuts administrators out:
        // its owner is named where the list lets anyone read it.
        const win32::UniqueHandle readable(::OpenMutexW(READ_CONTROL, FALSE, name.c_str()));
        return foreignOwner(readable && readOwner(readable.get(), keeper, owner) ? accountName(owner) : L"");
    }
    if (made == ERROR_ALREADY_EXISTS) {
        if (!readOwner(mutex.get(), keeper, owner)) win32::throwLastErrorAbout(name);
        if (!win32::TrustedAccounts().trust(owner)) return foreignOwner(accountName(owner));
    }
    if (!takeNow(mutex.get(), name)) return outcome(LockAttempt::Outcome::HeldByAnother);
    LockAttempt attempt = outcome(LockAttempt::Outcome::Taken);
    attempt.lock = std::make_unique<MutexLock>(std::move(mutex));
    return attempt;
}

}  // namespace car

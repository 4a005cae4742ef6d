// A lock that every session of the machine sees: a named mutex in the global
// namespace, which only SYSTEM and administrators may open, so that an
// ordinary account cannot take it from a run by opening it.
#include <windows.h>

#include <sddl.h>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/win32_platform.h"

namespace car {
namespace {

class MutexLock final : public Held {
public:
    explicit MutexLock(win32::UniqueHandle mutex) : mutex_(std::move(mutex)) {}
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    ~MutexLock() override { ::ReleaseMutex(mutex_.get()); }

private:
    win32::UniqueHandle mutex_;
};

}  // namespace

std::unique_ptr<Held> Win32Platform::lockMachineWide(const std::wstring& name) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        win32::throwLastError(L"The run's lock could not be described.");
    }
    const std::unique_ptr<void, win32::LocalFreeDeleter> ownedDescriptor(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    win32::UniqueHandle mutex(::CreateMutexW(&attributes, FALSE, name.c_str()));
    if (!mutex) win32::throwLastErrorAbout(name);
    switch (::WaitForSingleObject(mutex.get(), 0)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:  // a run that was killed: its lock is free again
            return std::make_unique<MutexLock>(std::move(mutex));
        case WAIT_TIMEOUT:
            return nullptr;
        default:
            win32::throwLastErrorAbout(name);
    }
}

}  // namespace car

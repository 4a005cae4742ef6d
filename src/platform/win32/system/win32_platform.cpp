#include "platform/win32/system/win32_platform.h"

namespace car {

namespace {

// Process-wide and settable once: a second platform object (or a host that
// set it first) meets RPC_E_TOO_LATE, which leaves the first setting in force.
void initialiseComSecurity() {
    const HRESULT hr = ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                              RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (hr != RPC_E_TOO_LATE) win32::check(hr);
}

}  // namespace

Win32Platform::Win32Platform() { initialiseComSecurity(); }

Win32Platform::~Win32Platform() {
    if (networkAhead_.joinable()) networkAhead_.join();
}

}  // namespace car

// What a client of the bench's COM servers asks once it has released everything: whether the
// server's DLL could be unloaded now. A leaked reference shows as "busy".
#pragma once

#include <windows.h>

namespace bench::com {

inline const wchar_t* unload_state(const wchar_t* dll) {
    const HMODULE module = GetModuleHandleW(dll);
    if (module == nullptr) {
        return L"unload: not loaded";
    }
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    const auto can_unload =
        reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    return can_unload != nullptr && can_unload() == S_OK ? L"unload: ready" : L"unload: busy";
}

}  // namespace bench::com

#include "platform/win32/system/wmi_moniker.h"

#include "platform/platform.h"

namespace car::win32 {

namespace {

Error badMoniker(const std::wstring& moniker, const std::wstring& why) {
    // MK_E_SYNTAX, what a moniker that cannot be parsed fails with.
    return Error{hresult(0x800401E4u), L"The WMI moniker \"" + moniker + L"\" cannot be used: " + why};
}

}  // namespace

std::wstring wmiNamespaceOf(const std::wstring& moniker) {
    const std::wstring scheme = L"winmgmts:";
    if (lowerCase(moniker.substr(0, scheme.size())) != scheme)
        throw badMoniker(moniker, L"it does not begin with winmgmts:.");
    std::wstring rest = moniker.substr(scheme.size());

    if (!rest.empty() && rest.front() == L'{') {
        const std::size_t close = rest.find(L'}');
        if (close == std::wstring::npos) throw badMoniker(moniker, L"its security settings are not closed.");
        std::wstring settings;
        for (wchar_t c : rest.substr(1, close - 1))
            if (c != L' ') settings += c;
        // Impersonation is what every connection is made with; other
        // settings would ask for something this program does not do.
        if (lowerCase(settings) != L"impersonationlevel=impersonate")
            throw badMoniker(moniker, L"only {impersonationLevel=impersonate} is supported.");
        rest.erase(0, close + 1);
    }
    if (!rest.empty() && rest.front() == L'!') rest.erase(0, 1);

    if (rest.rfind(L"\\\\", 0) == 0) {
        const std::size_t serverEnd = rest.find(L'\\', 2);
        const std::wstring server =
            rest.substr(2, serverEnd == std::wstring::npos ? std::wstring::npos : serverEnd - 2);
        if (server != L".") throw badMoniker(moniker, L"only the local machine (\\\\.) is supported.");
        rest = serverEnd == std::wstring::npos ? std::wstring{} : rest.substr(serverEnd + 1);
    }
    if (rest.empty()) return L"root\\cimv2";
    if (rest.find_first_of(L":!{}") != std::wstring::npos)
        throw badMoniker(moniker, L"it names more than a namespace.");
    return rest;
}

}  // namespace car::win32

// Network parameters, ANSI text and the common controls, as the system has them.
#include <iphlpapi.h>

#include <commctrl.h>

#include <climits>
#include <system_error>

#include "platform/win32/error_text.h"
#include "platform/win32/system/win32_platform.h"
#include "platform/win32/system_library.h"

namespace car {

namespace {

// Not imported: Windows takes the IP helper library from the program's own
// folder first when it is, so it is loaded from the system folder.
decltype(::GetNetworkParams)* networkParamsFunction() {
    static const auto function =
        win32::systemFunction<decltype(::GetNetworkParams)>(L"iphlpapi.dll", "GetNetworkParams");
    return function;
}

}  // namespace

void Win32Platform::loadNetworkParamsAhead() {
    if (networkAhead_.joinable()) return;
    // Loading the library and its own dependencies takes several milliseconds
    // that would otherwise come after the window is built and before it shows.
    try {
        networkAhead_ = std::thread([] { static_cast<void>(networkParamsFunction()); });
    } catch (const std::system_error&) {
        // No thread to spare: the library loads at the first call instead.
    }
}

std::uint32_t Win32Platform::getNetworkParams(std::uint8_t* buffer, std::uint32_t& length) {
    const auto function = networkParamsFunction();
    if (function == nullptr) return ERROR_PROC_NOT_FOUND;
    ULONG size = length;
    const DWORD result = function(reinterpret_cast<PFIXED_INFO>(buffer), &size);
    length = size;
    return result;
}

std::wstring Win32Platform::fromAnsiCodePage(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0) return {};
    if (count > INT_MAX) throw win32::win32Error(ERROR_INVALID_PARAMETER);
    // An explicit length, so that NULs are converted like any other byte.
    const auto source = reinterpret_cast<const char*>(bytes);
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, source, static_cast<int>(count), nullptr, 0);
    if (needed == 0) throw win32::win32Error(::GetLastError());
    std::wstring text(static_cast<std::size_t>(needed), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, source, static_cast<int>(count), text.data(), needed) == 0)
        throw win32::win32Error(::GetLastError());
    return text;
}

bool Win32Platform::initCommonControls(std::uint32_t size, std::uint32_t classes) {
    INITCOMMONCONTROLSEX controls{size, classes};
    return ::InitCommonControlsEx(&controls) != FALSE;
}

}  // namespace car

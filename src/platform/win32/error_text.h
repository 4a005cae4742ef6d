// Turning Windows failures into the program's one error type, at the edge.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace car::win32 {

// The system's text for an error code or HRESULT, without the trailing line
// break; empty when the system has none.
std::wstring systemMessage(std::uint32_t code);

// The system's text for an HRESULT, or "Error 0x8xxxxxxx" when it has none.
std::wstring describeHresult(HRESULT hr);

Error hresultError(HRESULT hr);
Error win32Error(DWORD code);

// The calling thread's last failure, with the system's own words for it
// after what failed.
[[noreturn]] void throwLastError(const wchar_t* what);
// An error code with what it concerns (a file, a command line) in brackets
// after the system's words; and the same for the last failure, thrown.
Error win32ErrorAbout(DWORD code, const std::wstring& subject);
[[noreturn]] void throwLastErrorAbout(const std::wstring& subject);

// Throws when `hr` failed, with the system's text.
inline void check(HRESULT hr) {
    if (FAILED(hr)) throw hresultError(hr);
}

}  // namespace car::win32

// What platform_check prints, one fact per line, and the words it prints
// for the platform's values; shared by its groups of commands.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include "platform/platform.h"

namespace check {

inline void print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

inline std::wstring hex(std::uint32_t value, int digits) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%0*X", digits, static_cast<unsigned>(value));
    return text;
}

inline std::wstring errorLine(const car::Error& error) {
    return L"error 0x" + hex(static_cast<std::uint32_t>(error.number), 8) + L" " + error.description;
}

inline const wchar_t* kindName(car::ReparseKind kind) {
    switch (kind) {
        case car::ReparseKind::None:
            return L"none";
        case car::ReparseKind::VolumeMountPoint:
            return L"volume";
        case car::ReparseKind::Junction:
            return L"junction";
        case car::ReparseKind::SymbolicLink:
            return L"symlink";
        default:
            return L"other";
    }
}

}  // namespace check

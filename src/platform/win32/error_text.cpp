#include "platform/win32/error_text.h"

#include <array>
#include <cwchar>

namespace car::win32 {

std::wstring systemMessage(std::uint32_t code) {
    // An HRESULT that wraps a Windows error code is found under the bare code;
    // the message tables of some systems know only that form.
    const auto lookup = [](std::uint32_t id) {
        std::array<wchar_t, 2048> text{};
        const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, id,
                                              0, text.data(), static_cast<DWORD>(text.size()), nullptr);
        std::wstring message(text.data(), length);
        while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
            message.pop_back();
        return message;
    };
    std::wstring message;
    if ((code & 0xFFFF0000u) == 0x80070000u) message = lookup(code & 0xFFFFu);
    if (message.empty()) message = lookup(code);
    return message;
}

namespace {

// Windows' own texts for the COM and automation failures this program can
// meet, for systems whose message tables lack them.
const wchar_t* comMessage(std::uint32_t code) {
    switch (code) {
        case 0x800401F3u:
            return L"Invalid class string";
        case 0x80040154u:
            return L"Class not registered";
        case 0x80080005u:
            return L"Server execution failed";
        case 0x800401F0u:
            return L"CoInitialize has not been called.";
        case 0x80010106u:
            return L"Cannot change thread mode after it is set.";
        case 0x800401E4u:
            return L"Invalid syntax";
        case 0x80004001u:
            return L"Not implemented";
        case 0x80004002u:
            return L"No such interface supported";
        case 0x8000FFFFu:
            return L"Catastrophic failure";
        case 0x80020003u:
            return L"Member not found.";
        case 0x80020004u:
            return L"Parameter not found.";
        case 0x80020005u:
            return L"Type mismatch.";
        case 0x80020006u:
            return L"Unknown name.";
        case 0x80020009u:
            return L"Exception occurred.";
        case 0x8002000Eu:
            return L"Invalid number of parameters.";
        default:
            return nullptr;
    }
}

}  // namespace

std::wstring describeHresult(HRESULT hr) {
    const auto code = static_cast<std::uint32_t>(hr);
    std::wstring message = systemMessage(code);
    if (message.empty() && comMessage(code) != nullptr) message = comMessage(code);
    return message.empty() ? L"Error " + hex32(static_cast<std::int32_t>(code)) : message;
}

Error hresultError(HRESULT hr) { return Error{static_cast<std::int32_t>(hr), describeHresult(hr)}; }

Error win32Error(DWORD code) {
    // A failing call that left no error code behind is still a failure.
    return hresultError(code == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(code));
}

void throwLastError(const wchar_t* what) {
    Error error = win32Error(::GetLastError());
    error.description = std::wstring(what) + L" " + error.description;
    throw error;
}

Error win32ErrorAbout(DWORD code, const std::wstring& subject) {
    Error error = win32Error(code);
    error.description += L" (" + subject + L")";
    return error;
}

void throwLastErrorAbout(const std::wstring& subject) { throw win32ErrorAbout(::GetLastError(), subject); }

}  // namespace car::win32

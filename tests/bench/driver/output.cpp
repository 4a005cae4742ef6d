#include "output.h"

#include <windows.h>

#include <string>

namespace driver {
namespace {

std::string utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), bytes, nullptr, nullptr);
    return result;
}

// A console gets the text as UTF-16, so that it shows right whatever its code
// page; a pipe or a file gets UTF-8 bytes and a bare LF.
void writeLine(DWORD which, std::wstring_view text) {
    HANDLE stream = GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
    std::wstring line(text);
    line += L'\n';
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(stream, &mode)) {
        WriteConsoleW(stream, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    const std::string bytes = utf8(line);
    WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void printLine(std::wstring_view text) { writeLine(STD_OUTPUT_HANDLE, text); }

int failed(std::wstring_view reason) {
    writeLine(STD_ERROR_HANDLE, reason);
    return kFailed;
}

int timedOut(std::wstring_view reason) {
    writeLine(STD_ERROR_HANDLE, std::wstring(L"timeout: ") + std::wstring(reason));
    return kTimedOut;
}

std::wstring escaped(std::wstring_view text) {
    std::wstring result;
    result.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
            case L'\r':
                result += L"\\r";
                break;
            case L'\n':
                result += L"\\n";
                break;
            case L'\t':
                result += L"\\t";
                break;
            default:
                result += c;
                break;
        }
    }
    return result;
}

}  // namespace driver

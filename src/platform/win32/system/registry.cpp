// Registry reads with the value types and failures a scripting RegRead gives,
// but with descriptions of our own: a missing key and a missing root are
// worded alike (path aside), a key without a default value otherwise, so that
// the key probe can tell the two apart on every system. Read in the process's
// own view, or in the system's (the 64-bit one under WOW64) where asked.
#include <algorithm>
#include <array>
#include <cwctype>
#include <optional>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/win32_platform.h"

namespace car {

namespace {

struct RegistryPath {
    HKEY root = nullptr;
    std::wstring subKey;
    std::optional<std::wstring> valueName;  // none: the key's default value
};

bool equalsIgnoringCase(const std::wstring& left, const wchar_t* right) {
    std::size_t i = 0;
    for (; i < left.size() && right[i] != L'\0'; ++i)
        if (std::towupper(left[i]) != std::towupper(right[i])) return false;
    return i == left.size() && right[i] == L'\0';
}

std::optional<HKEY> rootKey(const std::wstring& name) {
    struct Root {
        const wchar_t* name;
        HKEY key;
    };
    static const std::array<Root, 8> roots{{{L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                                            {L"HKLM", HKEY_LOCAL_MACHINE},
                                            {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                                            {L"HKCU", HKEY_CURRENT_USER},
                                            {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                                            {L"HKCR", HKEY_CLASSES_ROOT},
                                            {L"HKEY_USERS", HKEY_USERS},
                                            {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}}};
    for (const Root& root : roots)
        if (equalsIgnoringCase(name, root.name)) return root.key;
    return std::nullopt;
}

// "ROOT\key\path\" names the key's default value, "ROOT\key\path\name" a named
// value; none when the root is not one of the registry's roots.
std::optional<RegistryPath> parse(const std::wstring& path) {
    const std::size_t firstSlash = path.find(L'\\');
    if (firstSlash == std::wstring::npos) return std::nullopt;
    const std::optional<HKEY> root = rootKey(path.substr(0, firstSlash));
    if (!root) return std::nullopt;
    const std::size_t lastSlash = path.rfind(L'\\');
    RegistryPath parsed;
    parsed.root = *root;
    parsed.subKey = lastSlash > firstSlash ? path.substr(firstSlash + 1, lastSlash - firstSlash - 1) : std::wstring{};
    if (lastSlash + 1 < path.size()) parsed.valueName = path.substr(lastSlash + 1);
    return parsed;
}

Error missingKey(const std::wstring& path) {
    return Error{kFileNotFoundHr, L"Unable to open registry key \"" + path + L"\" for reading."};
}

Error noDefaultValue(const std::wstring& path) {
    return Error{kFileNotFoundHr, L"The registry key \"" + path + L"\" has no default value."};
}

Error unreadable(const std::wstring& path, std::wstring why) {
    return Error{hresult(0x8007065Eu), L"The registry value \"" + path + L"\" " + why};  // ERROR_UNSUPPORTED_TYPE
}

// The data as UTF-16 characters; an odd last byte is no character.
std::wstring charactersOf(const std::vector<BYTE>& data) {
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(text.size() * sizeof(wchar_t)),
              reinterpret_cast<BYTE*>(text.data()));
    return text;
}

std::wstring textOf(const std::vector<BYTE>& data) {
    std::wstring text = charactersOf(data);
    // Stored strings usually carry their terminator, and may carry more.
    const std::size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return text;
}

std::wstring expanded(const std::wstring& text) {
    std::wstring result(text.size() + 1, L'\0');
    for (;;) {
        const DWORD needed =
            ::ExpandEnvironmentStringsW(text.c_str(), result.data(), static_cast<DWORD>(result.size()));
        if (needed == 0) throw win32::win32Error(::GetLastError());
        if (needed <= result.size()) {
            result.resize(needed - 1);
            return result;
        }
        result.assign(needed, L'\0');
    }
}

std::vector<std::wstring> textsOf(const std::vector<BYTE>& data) {
    const std::wstring all = charactersOf(data);
    // The texts end at the first empty one (the list's double terminator).
    std::vector<std::wstring> texts;
    std::size_t start = 0;
    while (start < all.size()) {
        const std::size_t end = std::min(all.find(L'\0', start), all.size());
        if (end == start) break;
        texts.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return texts;
}

template <class Number>
std::int64_t numberOf(const std::vector<BYTE>& data, const std::wstring& path) {
    if (data.size() < sizeof(Number)) throw unreadable(path, L"holds too few bytes for its number type.");
    Number number{};
    std::copy(data.begin(), data.begin() + sizeof(Number), reinterpret_cast<BYTE*>(&number));
    return static_cast<std::int64_t>(number);
}

// The value in the registry view that `view` names (none: the process's own).
RegValue read(const std::wstring& path, REGSAM view) {
    const std::optional<RegistryPath> parsed = parse(path);
    if (!parsed) throw missingKey(path);

    win32::UniqueHkey key;
    LSTATUS status = ::RegOpenKeyExW(parsed->root, parsed->subKey.c_str(), 0, KEY_QUERY_VALUE | view, key.put());
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) throw missingKey(path);
    if (status != ERROR_SUCCESS) throw win32::win32Error(static_cast<DWORD>(status));

    const wchar_t* valueName = parsed->valueName ? parsed->valueName->c_str() : nullptr;
    DWORD type = REG_NONE;
    std::vector<BYTE> data(256);
    for (;;) {
        auto size = static_cast<DWORD>(data.size());
        status = ::RegQueryValueExW(key.get(), valueName, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(std::max<std::size_t>(size, data.size() * 2));
            continue;
        }
        if (status == ERROR_SUCCESS) data.resize(size);
        break;
    }
    if (status == ERROR_FILE_NOT_FOUND) throw parsed->valueName ? missingKey(path) : noDefaultValue(path);
    if (status != ERROR_SUCCESS) throw win32::win32Error(static_cast<DWORD>(status));

    switch (type) {
        case REG_SZ:
            return textOf(data);
        case REG_EXPAND_SZ:
            return expanded(textOf(data));
        case REG_DWORD:
            // A DWORD comes back as the signed 32-bit number a script sees.
            return numberOf<std::int32_t>(data, path);
        case REG_QWORD:
            return numberOf<std::int64_t>(data, path);
        case REG_MULTI_SZ:
            return textsOf(data);
        case REG_BINARY:
            return std::vector<std::uint8_t>(data.begin(), data.end());
        default:
            throw unreadable(path, L"has a data type (" + std::to_wstring(type) + L") that cannot be read.");
    }
}

}  // namespace

// No view flag: the process's own view is the one its products use.
RegValue Win32Platform::regRead(const std::wstring& path) { return read(path, 0); }

// A 32-bit Windows has one view, and takes no notice of the flag.
RegValue Win32Platform::regReadNativeView(const std::wstring& path) { return read(path, KEY_WOW64_64KEY); }

}  // namespace car

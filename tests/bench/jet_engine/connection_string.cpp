#include "connection_string.h"

#include "jet_error.h"

#include <cwctype>
#include <string_view>

namespace jet {
namespace {

constexpr std::wstring_view kBlanks = L" \t\r\n";

std::wstring trim(std::wstring_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::wstring_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return std::wstring(text.substr(first, last - first + 1));
}

std::wstring lower(std::wstring text) {
    for (auto& c : text) {
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return text;
}

bool equal_nocase(const std::wstring& a, const std::wstring& b) { return lower(a) == lower(b); }

JetError bad_format() { return {E_FAIL, L"Format of the initialization string is not valid."}; }

// Reads one value starting at pos (just after '='), leaving pos on the ';' that ends it or at the end.
std::wstring read_value(const std::wstring& text, std::size_t& pos) {
    while (pos < text.size() && kBlanks.find(text[pos]) != std::wstring_view::npos) {
        ++pos;
    }
    if (pos < text.size() && (text[pos] == L'\'' || text[pos] == L'"')) {
        // A quoted value may hold ';'; a doubled quote stands for one quote.
        const wchar_t quote = text[pos++];
        std::wstring value;
        for (;;) {
            if (pos >= text.size()) {
                throw bad_format();
            }
            if (text[pos] == quote) {
                if (pos + 1 < text.size() && text[pos + 1] == quote) {
                    value += quote;
                    pos += 2;
                    continue;
                }
                ++pos;
                break;
            }
            value += text[pos++];
        }
        while (pos < text.size() && text[pos] != L';') {
            if (kBlanks.find(text[pos]) == std::wstring_view::npos) {
                throw bad_format();
            }
            ++pos;
        }
        return value;
    }
    const auto end = text.find(L';', pos);
    const auto stop = end == std::wstring::npos ? text.size() : end;
    auto value = trim(std::wstring_view(text).substr(pos, stop - pos));
    pos = stop;
    return value;
}

}  // namespace

Connection parse_connection(const std::wstring& text) {
    Connection connection;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == L';') {
            ++pos;
            continue;
        }
        const auto equals = text.find(L'=', pos);
        const auto semicolon = text.find(L';', pos);
        if (equals == std::wstring::npos || (semicolon != std::wstring::npos && semicolon < equals)) {
            // A pair without '=' is only tolerated when it is blank.
            const auto stop = semicolon == std::wstring::npos ? text.size() : semicolon;
            if (!trim(std::wstring_view(text).substr(pos, stop - pos)).empty()) {
                throw bad_format();
            }
            pos = stop;
            continue;
        }
        const auto key = lower(trim(std::wstring_view(text).substr(pos, equals - pos)));
        pos = equals + 1;
        auto value = read_value(text, pos);
        if (key == L"provider") {
            connection.provider = std::move(value);
        } else if (key == L"data source") {
            connection.data_source = std::move(value);
        } else if (key == L"jet oledb:engine type") {
            connection.engine_type = std::move(value);
        } else if (key == L"jet oledb:database password") {
            connection.password = std::move(value);
        } else if (key.empty()) {
            throw bad_format();
        } else {
            // What JET answers for a property it has no handler for.
            throw JetError{E_FAIL, L"Could not find installable ISAM."};
        }
    }
    return connection;
}

void check_connection(const Connection& connection) {
    if (!equal_nocase(connection.provider, L"Microsoft.Jet.OLEDB.4.0")) {
        throw provider_not_found();
    }
    if (connection.data_source.empty()) {
        throw file_not_found(connection.data_source);
    }
    if (connection.engine_type && *connection.engine_type != L"5") {
        throw JetError{E_FAIL, L"Engine type '" + *connection.engine_type +
                                   L"' is not supported; this engine reads and writes only type 5 (JET 4.x)."};
    }
    if (!connection.password.empty()) {
        throw invalid_password();
    }
}

}  // namespace jet

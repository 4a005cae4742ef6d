// The conversions a scripting runtime applies to a registry value when the
// program uses it as text or compares it with a number.
#include <cwchar>
#include <cwctype>
#include <string>

#include "app/reg_value.h"

namespace car {
namespace {

Error TypeMismatch() { return Error{kTypeMismatch, L"Type mismatch"}; }

struct ToText {
    std::wstring operator()(const std::wstring& text) const { return text; }
    std::wstring operator()(std::int64_t number) const { return std::to_wstring(number); }
    std::wstring operator()(const std::vector<std::wstring>&) const { throw TypeMismatch(); }
    std::wstring operator()(const std::vector<std::uint8_t>&) const { throw TypeMismatch(); }
};

// Text counts as a number when, blanks around it aside, it is one whole
// decimal number ("1", " 1 ", "1.0", "-2"); anything else is a type mismatch.
double TextToNumber(const std::wstring& text) {
    std::size_t first = 0;
    while (first < text.size() && std::iswspace(text[first])) ++first;
    std::size_t last = text.size();
    while (last > first && std::iswspace(text[last - 1])) --last;
    const std::wstring trimmed = text.substr(first, last - first);
    // Plain decimal notation only: wcstod alone would also take "0x1", "inf" and "nan".
    if (trimmed.empty() || trimmed.find_first_not_of(L"0123456789+-.eE") != std::wstring::npos) throw TypeMismatch();
    wchar_t* end = nullptr;
    const double value = std::wcstod(trimmed.c_str(), &end);
    if (end != trimmed.c_str() + trimmed.size()) throw TypeMismatch();
    return value;
}

struct ToNumber {
    double operator()(const std::wstring& text) const { return TextToNumber(text); }
    double operator()(std::int64_t number) const { return static_cast<double>(number); }
    double operator()(const std::vector<std::wstring>&) const { throw TypeMismatch(); }
    double operator()(const std::vector<std::uint8_t>&) const { throw TypeMismatch(); }
};

}  // namespace

std::wstring RegValueToText(const RegValue& value) { return std::visit(ToText{}, value); }

double RegValueToNumber(const RegValue& value) { return std::visit(ToNumber{}, value); }

}  // namespace car

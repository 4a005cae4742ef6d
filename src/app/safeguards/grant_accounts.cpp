#include "app/safeguards/grant_accounts.h"

#include <variant>

namespace car {
namespace {

constexpr wchar_t kIisVersion[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\InetStp\\MajorVersion";
constexpr wchar_t kAdministrators[] = L"S-1-5-32-544";
constexpr wchar_t kUsers[] = L"S-1-5-32-545";
constexpr wchar_t kIisUsers[] = L"S-1-5-32-568";  // IIS_IUSRS
constexpr wchar_t kIisAnonymous[] = L"S-1-5-17";  // IUSR

}  // namespace

void GrantAccounts::ReadWebServerVersion() {
    iisMajorVersion_.reset();
    try {
        const RegValue value = platform_.regReadNativeView(kIisVersion);
        if (const auto* number = std::get_if<std::int64_t>(&value)) iisMajorVersion_ = *number;
    } catch (const Error&) {
        // No IIS, or none that says its version: the names as they are.
    }
}

GrantAccounts::Rule GrantAccounts::RuleFor(const std::wstring& name, std::optional<std::int64_t> iisMajorVersion) {
    using Kind = Rule::Kind;
    const std::wstring lower = lowerCase(name);
    if (lower == L"administrators") return {Kind::BySid, kAdministrators};
    if (lower == L"users") return {Kind::BySid, kUsers};
    if (!iisMajorVersion || *iisMajorVersion < 7) return {Kind::ByName, name};
    if (lower == L"iis_wpg") return {Kind::BySid, kIisUsers};
    if (lower.starts_with(L"iusr_")) return {Kind::BySid, kIisAnonymous};
    if (lower == L"aspnet" || lower.starts_with(L"iwam_")) return {};
    return {Kind::ByName, name};
}

std::optional<Account> GrantAccounts::Resolve(const std::wstring& name) {
    const Rule rule = RuleFor(name, iisMajorVersion_);
    switch (rule.kind) {
        case Rule::Kind::BySid:
            return platform_.accountBySid(rule.value);
        case Rule::Kind::ByName:
            return platform_.accountByName(rule.value);
        case Rule::Kind::None:
            break;
    }
    return std::nullopt;
}

}  // namespace car

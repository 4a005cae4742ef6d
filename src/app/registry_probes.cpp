#include <string>

#include "app/frmCompactAndRepair.h"

namespace car {
namespace {

// A root that never exists: reading it shows how the platform words the
// failure to read a key that is not there.
constexpr wchar_t kReferencePath[] = L"HKEY_ERROR\\";

bool IsKeyPath(const std::wstring& path) { return !path.empty() && path.back() == L'\\'; }

std::wstring RemoveAll(std::wstring text, const std::wstring& what) {
    if (what.empty()) return text;
    for (std::size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at)) {
        text.erase(at, what.size());
    }
    return text;
}

}  // namespace

RegValue frmCompactAndRepair::ReadReg(const std::wstring& RegPath) { return platform_.regRead(RegPath); }

// A key reads as missing both when it is absent and when it merely has no
// default value; the two failures are told apart by their wording, compared
// with the wording for a key under a root that cannot exist.
bool frmCompactAndRepair::KeyProbe(const std::wstring& keyPath) {
    std::wstring ownWording;
    try {
        platform_.regRead(keyPath);
        return true;
    } catch (const Error& error) {
        if (error.number != kFileNotFoundHr) return false;
        ownWording = RemoveAll(error.description, keyPath);
    }
    std::wstring referenceWording;
    try {
        platform_.regRead(kReferencePath);
    } catch (const Error& error) {
        referenceWording = RemoveAll(error.description, kReferencePath);
    }
    return ownWording != referenceWording;
}

bool frmCompactAndRepair::ValueProbe(const std::wstring& valuePath) {
    try {
        platform_.regRead(valuePath);
        return true;
    } catch (const Error&) {
        return false;
    }
}

bool frmCompactAndRepair::RegistryItemExists(const std::wstring& RegistryItem) {
    return IsKeyPath(RegistryItem) ? KeyProbe(RegistryItem) : ValueProbe(RegistryItem);
}

bool frmCompactAndRepair::RegistryKeyExists(const std::wstring& RegistryKey) {
    return IsKeyPath(RegistryKey) && KeyProbe(RegistryKey);
}

bool frmCompactAndRepair::RegistryValueExists(const std::wstring& RegistryValue) {
    return !IsKeyPath(RegistryValue) && ValueProbe(RegistryValue);
}

}  // namespace car

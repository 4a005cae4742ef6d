// Self-registration for regsvr32: the ProgIDs "Jro.JetEngine" and "Jro.JetEngine.2.6" lead to our class.
// Written under HKEY_CLASSES_ROOT from this (32-bit) process, so a 64-bit system files the class id
// under the 32-bit view by itself.
#include "engine_clsid.h"
#include "module.h"

#include <string>
#include <vector>

#include "platform/win32/handle.h"

namespace jet {
namespace {

using car::win32::UniqueHkey;

constexpr wchar_t kDescription[] = L"JET engine stand-in for the test bench";

HRESULT set_string(const std::wstring& key_path, const wchar_t* name, const std::wstring& value) {
    UniqueHkey key;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        status = RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    }
    return HRESULT_FROM_WIN32(status);
}

// The default value of a key, or empty when it cannot be read.
std::wstring read_default(const std::wstring& key_path) {
    std::vector<wchar_t> buffer(256);
    auto bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CLASSES_ROOT, key_path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer.data(), &bytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    return std::wstring(buffer.data());
}

std::wstring module_path() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(module_handle(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Removes a ProgID only while it still names our class, so a real JRO registration is left alone.
void remove_prog_id(const wchar_t* prog_id) {
    const std::wstring key = prog_id;
    if (read_default(key + L"\\CLSID") == kEngineClsidText) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    }
}

}  // namespace
}  // namespace jet

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer() {
    using namespace jet;
    const std::wstring path = module_path();
    if (path.empty()) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    const std::wstring clsid_key = std::wstring(L"CLSID\\") + kEngineClsidText;
    const std::wstring prog_id = kProgId;
    const std::wstring versioned = kVersionedProgId;
    const struct {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    } entries[] = {
        {clsid_key, nullptr, kDescription},
        {clsid_key + L"\\InprocServer32", nullptr, path},
        {clsid_key + L"\\InprocServer32", L"ThreadingModel", L"Both"},
        {clsid_key + L"\\ProgID", nullptr, versioned},
        {clsid_key + L"\\VersionIndependentProgID", nullptr, prog_id},
        {versioned, nullptr, kDescription},
        {versioned + L"\\CLSID", nullptr, kEngineClsidText},
        {prog_id, nullptr, kDescription},
        {prog_id + L"\\CLSID", nullptr, kEngineClsidText},
        {prog_id + L"\\CurVer", nullptr, versioned},
    };
    for (const auto& entry : entries) {
        const HRESULT hr = set_string(entry.key, entry.name, entry.value);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    using namespace jet;
    remove_prog_id(kProgId);
    remove_prog_id(kVersionedProgId);
    const std::wstring clsid_key = std::wstring(L"CLSID\\") + kEngineClsidText;
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid_key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

}  // extern "C"

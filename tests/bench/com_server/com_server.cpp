#include "com_server.h"

#include <string>
#include <vector>

#include "platform/win32/com.h"
#include "platform/win32/handle.h"

namespace bench::com {
namespace {

using car::win32::UniqueHkey;

HMODULE g_module = nullptr;
LONG g_users = 0;

// One class object for the life of the DLL; its references do not keep the DLL loaded, as usual.
// COM interfaces have no virtual destructor by design; this object is static and never deleted.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const ServerClass& server) : server_(server) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return server_.create(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            module_add_ref();
        } else {
            module_release();
        }
        return S_OK;
    }

private:
    const ServerClass& server_;
};
#pragma GCC diagnostic pop

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
        const DWORD length = GetModuleFileNameW(g_module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Removes a ProgID only while it still names our class, so that the real server's registration is
// left alone.
void remove_prog_id(const ServerClass& server, const wchar_t* prog_id) {
    if (prog_id == nullptr) {
        return;
    }
    const std::wstring key = prog_id;
    if (read_default(key + L"\\CLSID") == server.clsid_text) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    }
}

}  // namespace

void set_module_handle(HMODULE module) { g_module = module; }
HMODULE module_handle() { return g_module; }
void module_add_ref() { InterlockedIncrement(&g_users); }
void module_release() { InterlockedDecrement(&g_users); }
bool module_in_use() { return InterlockedCompareExchange(&g_users, 0, 0) != 0; }

HRESULT query_dispatch(IDispatch* dispatch, ISupportErrorInfo* errors, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *object = dispatch;
    } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
        *object = errors;
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    dispatch->AddRef();
    return S_OK;
}

void publish_error_info(const wchar_t* source, const std::wstring& description, const wchar_t* help_file,
                        DWORD help_context) {
    car::win32::ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put()))) {
        return;
    }
    create->SetGUID(IID_IDispatch);
    create->SetSource(const_cast<wchar_t*>(source));
    create->SetDescription(const_cast<wchar_t*>(description.c_str()));
    if (help_file != nullptr) {
        create->SetHelpFile(const_cast<wchar_t*>(help_file));
        create->SetHelpContext(help_context);
    }
    car::win32::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.putVoid()))) {
        SetErrorInfo(0, info.get());
    }
}

HRESULT get_class_object(const ServerClass& server, REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualCLSID(clsid, server.clsid)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    static ClassFactory factory(server);
    return factory.QueryInterface(riid, object);
}

HRESULT register_server(const ServerClass& server) {
    const std::wstring path = module_path();
    if (path.empty()) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    const std::wstring clsid_key = std::wstring(L"CLSID\\") + server.clsid_text;
    const std::wstring versioned = server.versioned_prog_id;
    struct Entry {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    };
    std::vector<Entry> entries = {
        {clsid_key, nullptr, server.description},
        {clsid_key + L"\\InprocServer32", nullptr, path},
        {clsid_key + L"\\InprocServer32", L"ThreadingModel", server.threading_model},
        {clsid_key + L"\\ProgID", nullptr, versioned},
        {versioned, nullptr, server.description},
        {versioned + L"\\CLSID", nullptr, server.clsid_text},
    };
    if (server.prog_id != nullptr) {
        const std::wstring prog_id = server.prog_id;
        entries.push_back({clsid_key + L"\\VersionIndependentProgID", nullptr, prog_id});
        entries.push_back({prog_id, nullptr, server.description});
        entries.push_back({prog_id + L"\\CLSID", nullptr, server.clsid_text});
        entries.push_back({prog_id + L"\\CurVer", nullptr, versioned});
    }
    for (const auto& entry : entries) {
        const HRESULT hr = set_string(entry.key, entry.name, entry.value);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT unregister_server(const ServerClass& server) {
    remove_prog_id(server, server.prog_id);
    remove_prog_id(server, server.versioned_prog_id);
    const std::wstring clsid_key = std::wstring(L"CLSID\\") + server.clsid_text;
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid_key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

}  // namespace bench::com

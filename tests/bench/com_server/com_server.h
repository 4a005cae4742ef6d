// What the bench's in-process COM servers share: the DLL's count of live objects, its class object,
// and its registration under HKEY_CLASSES_ROOT as regsvr32 asks for it.
#pragma once

#include <oaidl.h>
#include <oleauto.h>
#include <unknwn.h>
#include <windows.h>

#include <string>

namespace bench::com {

// The one class a server DLL offers.
struct ServerClass {
    const CLSID& clsid;
    const wchar_t* clsid_text;         // "{...}", as the registry spells it
    const wchar_t* versioned_prog_id;  // the ProgID the class id names
    const wchar_t* prog_id;            // the version-independent one; nullptr where the real server has none
    const wchar_t* description;
    const wchar_t* threading_model;
    HRESULT (*create)(REFIID riid, void** object);  // a new object, queried for riid
};

// The DLL's one class; each server defines it. dll_exports.cpp, compiled into each server,
// exports the entry points for it.
const ServerClass& server_class();

// DllMain hands over the module; the registration names its file.
void set_module_handle(HMODULE module);
HMODULE module_handle();

// Live objects plus LockServer locks: while any is left, the DLL must stay loaded.
void module_add_ref();
void module_release();
bool module_in_use();

// QueryInterface of an automation object that also says it supports error information.
HRESULT query_dispatch(IDispatch* dispatch, ISupportErrorInfo* errors, REFIID riid, void** object);

// The error information a late-bound caller reads after a failed call, as the real servers leave it.
void publish_error_info(const wchar_t* source, const std::wstring& description, const wchar_t* help_file = nullptr,
                        DWORD help_context = 0);

// DllGetClassObject for the DLL's class.
HRESULT get_class_object(const ServerClass& server, REFCLSID clsid, REFIID riid, void** object);

// DllRegisterServer and DllUnregisterServer. Written under HKEY_CLASSES_ROOT from the (32-bit)
// process regsvr32 runs the DLL in, so a 64-bit system files the class id under the 32-bit view.
HRESULT register_server(const ServerClass& server);
HRESULT unregister_server(const ServerClass& server);

}  // namespace bench::com

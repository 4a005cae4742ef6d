// A small client of "Jro.JetEngine" for tests, calling it exactly as the maintenance program does:
//   jet_check SOURCE_CONNECTION DESTINATION_CONNECTION
//       prints "ok" or "error 0x........ <description>"; the error's source, the thread's error
//       object and whether the DLL could unload afterwards go to stderr
//   jet_check hold PATH [SECONDS]
//       keeps PATH open for reading and writing (others may read and write, as a running database
//       server allows), prints "holding", and waits until it is ended or SECONDS have passed
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32/com.h"
#include "platform/win32/handle.h"
#include "unload_state.h"

namespace {

using car::win32::Bstr;
using car::win32::ComApartment;
using car::win32::ComPtr;
using car::win32::UniqueHandle;
using car::win32::Variant;

// Console output as UTF-16 on a console, UTF-8 into a pipe or file, so non-ASCII paths survive.
void write_line(DWORD which, const std::wstring& text) {
    const HANDLE out = GetStdHandle(which);
    const std::wstring line = text + L"\r\n";
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size, nullptr, nullptr);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void out(const std::wstring& text) { write_line(STD_OUTPUT_HANDLE, text); }
void err(const std::wstring& text) { write_line(STD_ERROR_HANDLE, text); }

std::wstring hex(HRESULT number) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(number));
    return text;
}

std::wstring system_message(HRESULT number) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(number), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length == 0 ? std::wstring() : std::wstring(buffer, length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) {
        text.pop_back();
    }
    return text;
}

int fail(HRESULT number, const std::wstring& description) {
    out(L"error " + hex(number) + L" " + description);
    return 1;
}

// The thread's error object, as a caller that checks ISupportErrorInfo would read it.
void report_error_object(IDispatch* engine) {
    ComPtr<ISupportErrorInfo> support;
    if (FAILED(engine->QueryInterface(IID_ISupportErrorInfo, support.putVoid())) ||
        support->InterfaceSupportsErrorInfo(IID_IDispatch) != S_OK) {
        err(L"errorinfo: none");
        return;
    }
    ComPtr<IErrorInfo> info;
    Bstr description;
    if (GetErrorInfo(0, info.put()) != S_OK || FAILED(info->GetDescription(description.put()))) {
        err(L"errorinfo: none");
        return;
    }
    err(L"errorinfo: " + description.str());
}

int compact(const std::wstring& source, const std::wstring& destination) {
    const ComApartment apartment;
    int status = 0;
    {
        CLSID clsid{};
        HRESULT hr = CLSIDFromProgID(L"Jro.JetEngine", &clsid);
        if (FAILED(hr)) {
            return fail(hr, system_message(hr));
        }
        ComPtr<IDispatch> engine;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, engine.putVoid());
        if (FAILED(hr)) {
            return fail(hr, system_message(hr));
        }
        wchar_t name[] = L"CompactDatabase";
        LPOLESTR names[] = {name};
        DISPID id = DISPID_UNKNOWN;
        hr = engine->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) {
            return fail(hr, system_message(hr));
        }
        // Automation wants the arguments last first; Invoke only reads them, the strings stay ours.
        const Bstr destination_text(destination);
        const Bstr source_text(source);
        VARIANTARG arguments[2]{};
        V_VT(&arguments[0]) = VT_BSTR;
        V_BSTR(&arguments[0]) = destination_text.get();
        V_VT(&arguments[1]) = VT_BSTR;
        V_BSTR(&arguments[1]) = source_text.get();
        DISPPARAMS params{arguments, nullptr, 2, 0};
        Variant result;
        EXCEPINFO exception{};
        UINT bad_argument = 0;
        hr = engine->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.put(), &exception,
                            &bad_argument);
        if (hr == DISP_E_EXCEPTION) {
            if (exception.pfnDeferredFillIn != nullptr) {
                exception.pfnDeferredFillIn(&exception);
            }
            // The strings the engine filled in are ours to free.
            Bstr error_source;
            Bstr description;
            Bstr help_file;
            error_source.adopt(exception.bstrSource);
            description.adopt(exception.bstrDescription);
            help_file.adopt(exception.bstrHelpFile);
            const HRESULT number = exception.scode != 0 ? exception.scode : static_cast<HRESULT>(exception.wCode);
            status = fail(number, description.str());
            err(L"source: " + error_source.str());
            report_error_object(engine.get());
        } else if (FAILED(hr)) {
            status = fail(hr, system_message(hr));
        } else {
            out(L"ok");
        }
    }
    err(bench::com::unload_state(L"jet_engine.dll"));
    return status;
}

int hold(const std::wstring& path, DWORD seconds) {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const auto hr = HRESULT_FROM_WIN32(GetLastError());
        return fail(hr, system_message(hr));
    }
    out(L"holding");
    Sleep(seconds == 0 ? INFINITE : seconds * 1000);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && argc <= 4 && std::wstring(argv[1]) == L"hold") {
        const DWORD seconds = argc == 4 ? static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) : 0;
        return hold(argv[2], seconds);
    }
    if (argc == 3) {
        try {
            return compact(argv[1], argv[2]);
        } catch (const car::Error& error) {
            // The apartment could not be joined, or a string could not be allocated.
            return fail(error.number, error.description);
        }
    }
    err(L"usage: jet_check SOURCE_CONNECTION DESTINATION_CONNECTION | jet_check hold PATH [SECONDS]");
    return 2;
}

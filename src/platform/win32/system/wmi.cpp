// WMI through IWbemServices, every call made by the platform's one WMI worker
// (wmi_worker.cpp): queries copied out in full before anything acts on them,
// and every HRESULT checked.
#include <wbemcli.h>

#include <memory>
#include <utility>

#include "platform/win32/com.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/win32_platform.h"
#include "platform/win32/system/wmi_moniker.h"
#include "platform/win32/system/wmi_worker.h"

namespace car {

namespace {

using win32::Bstr;
using win32::checkWmi;
using win32::ComPtr;
using win32::Variant;

// The WBEMSTATUS codes this file singles out, as the HRESULTs they are.
constexpr HRESULT kNotFound = static_cast<HRESULT>(WBEM_E_NOT_FOUND);
constexpr HRESULT kInvalidMethod = static_cast<HRESULT>(WBEM_E_INVALID_METHOD);
constexpr HRESULT kEndOfResults = static_cast<HRESULT>(WBEM_S_FALSE);
constexpr HRESULT kTimedOut = static_cast<HRESULT>(WBEM_S_TIMEDOUT);
constexpr std::uint32_t kTerminateAccessDenied = 2;  // Win32_Process.Terminate's "access denied"

// A property converted to the type; false when the object has no such
// property or it is null.
bool property(IWbemClassObject& object, const wchar_t* name, VARTYPE type, Variant& converted) {
    Variant value;
    const HRESULT hr = object.Get(name, 0, value.put(), nullptr, nullptr);
    if (hr == kNotFound) return false;
    checkWmi(hr);
    if (value.get().vt == VT_NULL || value.get().vt == VT_EMPTY) return false;
    checkWmi(win32::automation::changeType(*converted.put(), value.get(), type));
    return true;
}

std::wstring textProperty(IWbemClassObject& object, const wchar_t* name) {
    Variant text;
    return property(object, name, VT_BSTR, text) ? win32::bstrText(text.get().bstrVal) : std::wstring();
}

std::uint32_t numberProperty(IWbemClassObject& object, const wchar_t* name) {
    Variant number;
    return property(object, name, VT_UI4, number) ? number.get().ulVal : 0;
}

// "\\HOST\ROOT\CIMV2:Win32_Process.Handle="42"" is an instance of Win32_Process.
bool isProcessPath(const std::wstring& path) {
    const std::size_t colon = path.find(L':');
    if (colon == std::wstring::npos) return false;
    const std::wstring className = path.substr(colon + 1, path.find(L'.', colon) - colon - 1);
    return lowerCase(className) == L"win32_process";
}

// What Win32_Process.Terminate does, for a WMI that lacks the method. A
// process that ended after the query is reported as WMI reports a vanished
// object, so that the caller can take it as done.
void terminateProcess(std::uint32_t processId) {
    win32::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    if (!process) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_INVALID_PARAMETER)  // no process has that id
            throw Error{kWmiNotFound, L"The process " + std::to_wstring(processId) + L" has already ended."};
        throw win32::win32Error(code);
    }
    if (!::TerminateProcess(process.get(), 0)) throw win32::win32Error(::GetLastError());
}

// A service object is the namespace alone: every call goes to the platform's
// worker, which holds the connection.
class Win32WmiService final : public WmiService {
public:
    Win32WmiService(Win32Platform& platform, win32::WmiWorkers& workers, std::wstring wmiNamespace)
        : platform_(platform), workers_(workers), namespace_(std::move(wmiNamespace)) {}

    std::vector<WmiObject> execQuery(const std::wstring& wql) override {
        const std::wstring what = L"the query \"" + wql + L"\"";
        auto objects = std::make_shared<std::vector<WmiObject>>();
        run(what, [objects, wql, what](IWbemServices& services) { *objects = query(services, wql, what); });
        return std::move(*objects);
    }

    std::uint32_t execMethod(const WmiObject& object, const std::wstring& method) override {
        // WMI acts with the caller's enabled privileges (those of the
        // process's token, which the worker shares): ending a service's
        // process needs the debug privilege, enabled by the caller around
        // this, and so does the fallback below.
        const bool mayEndItself = method == L"Terminate" && isProcessPath(object.path);
        struct Outcome {
            std::uint32_t returnValue = 0;
            bool noSuchMethod = false;
        };
        auto outcome = std::make_shared<Outcome>();
        run(method + L" on " + object.path,
            [outcome, path = object.path, method, mayEndItself](IWbemServices& services) {
                ComPtr<IWbemClassObject> outParameters;
                const HRESULT hr = services.ExecMethod(Bstr(path).get(), Bstr(method).get(), 0, nullptr, nullptr,
                                                       outParameters.put(), nullptr);
                if (hr == kInvalidMethod && mayEndItself) {
                    outcome->noSuchMethod = true;
                    return;
                }
                checkWmi(hr);
                if (outParameters) outcome->returnValue = numberProperty(*outParameters.get(), L"ReturnValue");
            });
        if (outcome->noSuchMethod) {
            terminateProcess(object.processId);
            return 0;
        }
        // COM may hand WMI the token as it was when the worker's connection
        // was made, before the caller enabled the debug privilege: a refusal
        // is tried again in this process, where the privilege is on now.
        if (mayEndItself && outcome->returnValue == kTerminateAccessDenied) {
            try {
                terminateProcess(object.processId);
                return 0;
            } catch (const Error& error) {
                if (error.number == kWmiNotFound) throw;
            }
        }
        return outcome->returnValue;
    }

private:
    // Enumerated semi-synchronously, so that even a worker left behind comes
    // back from a WMI that stopped answering.
    static std::vector<WmiObject> query(IWbemServices& services, const std::wstring& wql, const std::wstring& what) {
        ComPtr<IEnumWbemClassObject> enumerator;
        checkWmi(services.ExecQuery(Bstr(L"WQL").get(), Bstr(wql).get(),
                                    WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, enumerator.put()));
        std::vector<WmiObject> objects;
        for (;;) {
            ComPtr<IWbemClassObject> object;
            ULONG returned = 0;
            const HRESULT hr = enumerator->Next(win32::kWmiCallLimitMs, 1, object.put(), &returned);
            checkWmi(hr);
            if (returned == 0) {
                if (hr == kEndOfResults) break;
                if (hr == kTimedOut) win32::throwWmiUnanswered(what);
                throw Error{
                    static_cast<std::int32_t>(WBEM_E_FAILED),
                    L"The WMI query \"" + wql + L"\" ended without its results (WMI answered " + hex32(hr) + L")."};
            }
            WmiObject copy;
            copy.path = textProperty(*object.get(), L"__PATH");
            copy.name = textProperty(*object.get(), L"Name");
            copy.processId = numberProperty(*object.get(), L"ProcessId");
            copy.state = textProperty(*object.get(), L"State");
            objects.push_back(std::move(copy));
        }
        return objects;
    }

    void run(const std::wstring& what, win32::WmiWork work) {
        workers_.run(namespace_, what, std::move(work),
                     [this](HANDLE done, DWORD limitMs) { return platform_.waitPumping(done, limitMs); });
    }

    Win32Platform& platform_;
    win32::WmiWorkers& workers_;
    std::wstring namespace_;
};

}  // namespace

std::unique_ptr<WmiService> Win32Platform::connectWmi(const std::wstring& moniker) {
    return std::make_unique<Win32WmiService>(*this, wmi_, win32::wmiNamespaceOf(moniker));
}

}  // namespace car

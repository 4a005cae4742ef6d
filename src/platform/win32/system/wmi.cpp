// WMI through IWbemServices: one connection per service object, queries
// copied out in full before anything acts on them, and every HRESULT checked.
#include <wbemcli.h>

#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/win32/com.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/privilege.h"
#include "platform/win32/system/win32_platform.h"
#include "platform/win32/system/wmi_moniker.h"

namespace car {

namespace {

using win32::Bstr;
using win32::ComPtr;
using win32::Variant;

// The WBEMSTATUS codes this file singles out, as the HRESULTs they are.
constexpr HRESULT kNotFound = static_cast<HRESULT>(WBEM_E_NOT_FOUND);
constexpr HRESULT kInvalidMethod = static_cast<HRESULT>(WBEM_E_INVALID_METHOD);
constexpr HRESULT kEndOfResults = static_cast<HRESULT>(WBEM_S_FALSE);
constexpr HRESULT kTimedOut = static_cast<HRESULT>(WBEM_S_TIMEDOUT);

// A healthy call takes well under a second; a WMI service that stops
// answering must not hold the run, with the suite stopped, for ever.
constexpr long kCallLimitMs = 120'000;

[[noreturn]] void throwUnanswered(const std::wstring& what) {
    throw Error{kWmiTimeoutHr, L"WMI did not answer " + what + L" within two minutes."};
}

// WMI's own text for its codes where the system has it; the general message
// tables know few of the 0x8004xxxx codes.
std::wstring wmiErrorText(HRESULT hr) {
    ComPtr<IWbemStatusCodeText> texts;
    if (SUCCEEDED(::CoCreateInstance(CLSID_WbemStatusCodeText, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemStatusCodeText,
                                     texts.putVoid()))) {
        Bstr text;
        if (SUCCEEDED(texts->GetErrorCodeText(hr, 0, 0, text.put()))) {
            std::wstring message = text.str();
            while (!message.empty() && std::iswspace(message.back())) message.pop_back();
            if (!message.empty()) return message;
        }
    }
    std::wstring message = win32::systemMessage(static_cast<std::uint32_t>(hr));
    return message.empty() ? L"WMI error " + hex32(hr) : message;
}

void checkWmi(HRESULT hr) {
    if (FAILED(hr)) throw Error{static_cast<std::int32_t>(hr), wmiErrorText(hr)};
}

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

void setImpersonation(IWbemServices& services) {
    checkWmi(::CoSetProxyBlanket(&services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE));
}

// A connection to the namespace, impersonating the caller. At most two
// minutes, as the flag promises; past that it fails.
ComPtr<IWbemServices> connect(const std::wstring& wmiNamespace) {
    ComPtr<IWbemLocator> locator;
    checkWmi(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.putVoid()));
    ComPtr<IWbemServices> services;
    const HRESULT hr = locator->ConnectServer(Bstr(wmiNamespace).get(), nullptr, nullptr, nullptr,
                                              WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr, nullptr, services.put());
    if (hr == static_cast<HRESULT>(WBEM_E_TIMED_OUT)) throwUnanswered(L"the connection to " + wmiNamespace);
    checkWmi(hr);
    setImpersonation(*services.get());
    return services;
}

// A method call on a thread of its own, with a connection of its own (WMI's
// objects cannot be handed between threads everywhere): the caller waits for
// it with a limit, and a call that never comes back is left behind with
// everything it needs.
struct MethodCall {
    win32::UniqueHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::wstring wmiNamespace;
    std::wstring path;
    std::wstring method;
    HRESULT result = E_PENDING;
    std::uint32_t returnValue = 0;
    std::wstring failure;

    void run() noexcept {
        try {
            const win32::ComApartment apartment;
            const ComPtr<IWbemServices> services = connect(wmiNamespace);
            ComPtr<IWbemClassObject> outParameters;
            result = services->ExecMethod(Bstr(path).get(), Bstr(method).get(), 0, nullptr, nullptr,
                                          outParameters.put(), nullptr);
            if (SUCCEEDED(result) && outParameters) returnValue = numberProperty(*outParameters.get(), L"ReturnValue");
        } catch (const Error& error) {
            result = error.number;
            failure = error.description;
        } catch (const std::exception&) {
            result = E_OUTOFMEMORY;
        }
        ::SetEvent(done.get());
    }
};

class Win32WmiService final : public WmiService {
public:
    Win32WmiService(Win32Platform& platform, ComPtr<IWbemServices> services, std::wstring wmiNamespace)
        : platform_(platform), services_(std::move(services)), namespace_(std::move(wmiNamespace)) {}

    std::vector<WmiObject> execQuery(const std::wstring& wql) override {
        ComPtr<IEnumWbemClassObject> enumerator;
        checkWmi(services_->ExecQuery(Bstr(L"WQL").get(), Bstr(wql).get(),
                                      WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                      enumerator.put()));
        std::vector<WmiObject> objects;
        for (;;) {
            ComPtr<IWbemClassObject> object;
            ULONG returned = 0;
            const HRESULT hr = enumerator->Next(kCallLimitMs, 1, object.put(), &returned);
            checkWmi(hr);
            if (returned == 0) {
                if (hr == kEndOfResults) break;
                if (hr == kTimedOut) throwUnanswered(L"the query \"" + wql + L"\"");
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

    std::uint32_t execMethod(const WmiObject& object, const std::wstring& method) override {
        // WMI acts with the caller's enabled privileges; ending a service's
        // process needs this one, and so does the fallback below.
        if (method == L"Terminate") win32::enableDebugPrivilege();
        const auto call = std::make_shared<MethodCall>();
        if (!call->done) throw win32::win32Error(::GetLastError());
        call->wmiNamespace = namespace_;
        call->path = object.path;
        call->method = method;
        try {
            std::thread([call] { call->run(); }).detach();
        } catch (const std::system_error&) {
            throw win32::hresultError(E_OUTOFMEMORY);
        }
        if (!platform_.waitPumping(call->done.get(), kCallLimitMs)) throwUnanswered(method + L" on " + object.path);
        const HRESULT hr = call->result;
        if (hr == kInvalidMethod && method == L"Terminate" && isProcessPath(object.path)) {
            terminateProcess(object.processId);
            return 0;
        }
        if (!call->failure.empty()) throw Error{static_cast<std::int32_t>(hr), call->failure};
        checkWmi(hr);
        return call->returnValue;
    }

private:
    Win32Platform& platform_;
    ComPtr<IWbemServices> services_;
    std::wstring namespace_;
};

}  // namespace

std::unique_ptr<WmiService> Win32Platform::connectWmi(const std::wstring& moniker) {
    const std::wstring wmiNamespace = win32::wmiNamespaceOf(moniker);
    return std::make_unique<Win32WmiService>(*this, connect(wmiNamespace), wmiNamespace);
}

}  // namespace car

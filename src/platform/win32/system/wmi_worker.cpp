#include "platform/win32/system/wmi_worker.h"

#include <wbemcli.h>

#include <condition_variable>
#include <cwctype>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/win32/com.h"
#include "platform/win32/handle.h"

namespace car::win32 {

namespace {

// How long a worker told to stop is waited for; an idle one leaves at once.
constexpr DWORD kStopWaitMs = 5'000;

// Failures after which the connection is of no more use (WMI's service ended
// or restarted): the next call connects again.
bool connectionLost(std::int32_t number) {
    switch (static_cast<std::uint32_t>(number)) {
        case 0x80010108u:  // RPC_E_DISCONNECTED
        case 0x800706BAu:  // HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)
        case 0x800706BEu:  // HRESULT_FROM_WIN32(RPC_S_CALL_FAILED)
        case 0x80041015u:  // WBEM_E_TRANSPORT_FAILURE
        case 0x80041033u:  // WBEM_E_SHUTTING_DOWN
            return true;
        default:
            return false;
    }
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
    std::wstring message = systemMessage(static_cast<std::uint32_t>(hr));
    return message.empty() ? L"WMI error " + hex32(hr) : message;
}

// A connection to the namespace, impersonating the caller. At most two
// minutes, as the flag promises; past that it fails.
ComPtr<IWbemServices> connect(const std::wstring& wmiNamespace) {
    ComPtr<IWbemLocator> locator;
    checkWmi(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.putVoid()));
    ComPtr<IWbemServices> services;
    const HRESULT hr = locator->ConnectServer(Bstr(wmiNamespace).get(), nullptr, nullptr, nullptr,
                                              WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr, nullptr, services.put());
    if (hr == static_cast<HRESULT>(WBEM_E_TIMED_OUT)) throwWmiUnanswered(L"the connection to " + wmiNamespace);
    checkWmi(hr);
    checkWmi(::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE));
    return services;
}

// One call as the worker takes it. The caller and the worker both hold it:
// a caller that gave up leaves it, and what the work captured, to the worker.
struct Call {
    std::wstring wmiNamespace;
    WmiWork work;
    std::exception_ptr failure;
    UniqueHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

}  // namespace

[[noreturn]] void throwWmiUnanswered(const std::wstring& what) {
    throw Error{kWmiTimeoutHr, L"WMI did not answer " + what + L" within two minutes."};
}

void checkWmi(HRESULT hr) {
    if (FAILED(hr)) throw Error{static_cast<std::int32_t>(hr), wmiErrorText(hr)};
}

// The worker's thread holds the worker for as long as it runs, so that one
// that was left behind inside a call still has everything it needs.
class WmiWorkers::Worker {
public:
    static std::shared_ptr<Worker> start() {
        auto worker = std::make_shared<Worker>();
        if (!worker->ended_) throw win32Error(::GetLastError());
        try {
            std::thread([worker] { worker->serve(); }).detach();
        } catch (const std::system_error&) {
            throw hresultError(E_OUTOFMEMORY);
        }
        return worker;
    }

    void post(std::shared_ptr<Call> call) {
        {
            const std::lock_guard lock(mutex_);
            calls_.push_back(std::move(call));
        }
        wake_.notify_one();
    }

    // No calls after this one: the thread ends once it is out of the call it
    // is in, if any.
    void stop() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
    }

    // Set once the thread has left its apartment.
    HANDLE ended() const noexcept { return ended_.get(); }

private:
    std::shared_ptr<Call> next() {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !calls_.empty(); });
        if (stopping_) return nullptr;
        std::shared_ptr<Call> call = std::move(calls_.front());
        calls_.pop_front();
        return call;
    }

    // The multithreaded apartment: the thread waits for calls without
    // handling window messages, which a single-threaded one would owe.
    void serve() noexcept {
        std::exception_ptr unusable;
        std::optional<ComApartment> apartment;
        try {
            apartment.emplace(COINIT_MULTITHREADED);
        } catch (...) {
            unusable = std::current_exception();
        }
        {
            std::map<std::wstring, ComPtr<IWbemServices>> connections;
            for (std::shared_ptr<Call> call; (call = nextOrNothing());) {
                std::wstring key;
                try {
                    if (unusable) std::rethrow_exception(unusable);
                    key = lowerCase(call->wmiNamespace);
                    ComPtr<IWbemServices>& services = connections[key];
                    if (!services) services = connect(call->wmiNamespace);
                    call->work(*services.get());
                } catch (const Error& error) {
                    if (connectionLost(error.number)) connections.erase(key);
                    call->failure = std::current_exception();
                } catch (...) {
                    call->failure = std::current_exception();
                }
                call->work = nullptr;  // what it holds is let go of here, inside the apartment
                ::SetEvent(call->done.get());
            }
        }
        apartment.reset();
        ::SetEvent(ended_.get());
    }

    // The queue's lock cannot be had only when the system is out of
    // resources; the worker then ends as if told to.
    std::shared_ptr<Call> nextOrNothing() noexcept {
        try {
            return next();
        } catch (...) {
            return nullptr;
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Call>> calls_;
    bool stopping_ = false;
    UniqueHandle ended_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

WmiWorkers::~WmiWorkers() {
    if (!current_) return;
    current_->stop();
    ::WaitForSingleObject(current_->ended(), kStopWaitMs);
}

void WmiWorkers::run(const std::wstring& wmiNamespace, const std::wstring& what, WmiWork work, const WmiWait& wait) {
    const auto call = std::make_shared<Call>();
    if (!call->done) throw win32Error(::GetLastError());
    call->wmiNamespace = wmiNamespace;
    call->work = std::move(work);
    // Kept apart from current_: a handler run while the caller waits may make
    // a call of its own and, should that one go unanswered, replace it.
    if (!current_) current_ = Worker::start();
    const std::shared_ptr<Worker> worker = current_;
    worker->post(call);
    if (!wait(call->done.get(), kWmiCallLimitMs)) {
        worker->stop();
        if (current_ == worker) current_.reset();
        throwWmiUnanswered(what);
    }
    if (!call->failure) return;
    try {
        std::rethrow_exception(call->failure);
    } catch (const Error&) {
        throw;
    } catch (const std::exception&) {  // the worker ran out of memory
        throw hresultError(E_OUTOFMEMORY);
    }
}

}  // namespace car::win32

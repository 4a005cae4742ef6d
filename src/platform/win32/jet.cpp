// The JET engine object, reached by its ProgID and called by name through
// IDispatch, as an automation client would.
#include <optional>
#include <thread>

#include "platform/win32/com.h"
#include "platform/win32/handle.h"
#include "platform/win32/win32_platform.h"

namespace car {

namespace {

// The failure an automation object raised, as its EXCEPINFO tells it.
Error exceptionError(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    win32::Bstr source, description, helpFile;
    source.adopt(info.bstrSource);
    description.adopt(info.bstrDescription);
    helpFile.adopt(info.bstrHelpFile);
    // A wCode is the object's own error number; as an HRESULT it lives under
    // FACILITY_CONTROL, where the scripting runtime keeps its numbers too.
    HRESULT number = info.scode;
    if (number == S_OK)
        number = info.wCode != 0 ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info.wCode) : DISP_E_EXCEPTION;
    std::wstring text = description.str();
    if (text.empty()) text = win32::describeHresult(number);
    return Error{static_cast<std::int32_t>(number), std::move(text)};
}

void compact(IDispatch& engine, const std::wstring& source, const std::wstring& destination) {
    win32::Bstr name(L"CompactDatabase");
    LPOLESTR names[] = {name.get()};
    DISPID id = DISPID_UNKNOWN;
    win32::check(engine.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));

    win32::Bstr sourceText(source), destinationText(destination);
    // IDispatch takes its arguments last first.
    VARIANTARG arguments[2];
    win32::automation::initVariant(arguments[0]);
    win32::automation::initVariant(arguments[1]);
    arguments[0].vt = VT_BSTR;
    arguments[0].bstrVal = destinationText.get();
    arguments[1].vt = VT_BSTR;
    arguments[1].bstrVal = sourceText.get();
    DISPPARAMS parameters{arguments, nullptr, 2, 0};

    win32::Variant result;
    EXCEPINFO exception{};
    UINT badArgument = 0;
    const HRESULT hr = engine.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, result.put(),
                                     &exception, &badArgument);
    if (hr == DISP_E_EXCEPTION) throw exceptionError(exception);
    win32::check(hr);
}

win32::ComPtr<IDispatch> createEngine(const CLSID& clsid) {
    win32::ComPtr<IDispatch> engine;
    win32::check(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                    engine.putVoid()));
    return engine;
}

// The engine's compaction runs for as long as the database needs, seconds to
// minutes; on the window's thread it would freeze the window until Windows
// offers to end the program. So it runs on a worker thread of its own, in an
// apartment of its own where the engine object is created and released,
// while the window's thread goes on handling messages.
class Win32JetEngine final : public JetEngine {
public:
    Win32JetEngine(Win32Platform& platform, const CLSID& clsid) : platform_(platform), clsid_(clsid) {}

    void compactDatabase(const std::wstring& source, const std::wstring& destination) override {
        const win32::UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!done) throw win32::win32Error(::GetLastError());
        std::optional<Error> failure;
        // Joined however this scope ends, a failed wait included.
        std::jthread worker([&] {
            try {
                const win32::ComApartment apartment;
                compact(*createEngine(clsid_).get(), source, destination);
            } catch (const Error& error) {
                failure = error;
            } catch (const std::exception&) {
                failure = win32::hresultError(E_OUTOFMEMORY);
            }
            ::SetEvent(done.get());
        });
        platform_.waitPumping(done.get());
        worker.join();
        if (failure) throw *failure;
    }

private:
    Win32Platform& platform_;
    CLSID clsid_;
};

}  // namespace

// The object is created here once, so that a machine without the engine
// fails where the object is asked for; the compaction makes its own.
std::unique_ptr<JetEngine> Win32Platform::createJetEngine() {
    CLSID clsid{};
    win32::check(::CLSIDFromProgID(L"Jro.JetEngine", &clsid));
    createEngine(clsid);
    return std::make_unique<Win32JetEngine>(*this, clsid);
}

}  // namespace car

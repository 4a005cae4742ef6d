// The JET engine object, reached by its ProgID and called by name through
// IDispatch, as an automation client would.
#include "platform/win32/com.h"
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

class Win32JetEngine final : public JetEngine {
public:
    explicit Win32JetEngine(win32::ComPtr<IDispatch> engine) : engine_(std::move(engine)) {}

    void compactDatabase(const std::wstring& source, const std::wstring& destination) override {
        win32::Bstr name(L"CompactDatabase");
        LPOLESTR names[] = {name.get()};
        DISPID id = DISPID_UNKNOWN;
        win32::check(engine_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));

        win32::Bstr sourceText(source), destinationText(destination);
        // IDispatch takes its arguments last first.
        VARIANTARG arguments[2];
        ::VariantInit(&arguments[0]);
        ::VariantInit(&arguments[1]);
        arguments[0].vt = VT_BSTR;
        arguments[0].bstrVal = destinationText.get();
        arguments[1].vt = VT_BSTR;
        arguments[1].bstrVal = sourceText.get();
        DISPPARAMS parameters{arguments, nullptr, 2, 0};

        win32::Variant result;
        EXCEPINFO exception{};
        UINT badArgument = 0;
        const HRESULT hr = engine_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                                           result.put(), &exception, &badArgument);
        if (hr == DISP_E_EXCEPTION) throw exceptionError(exception);
        win32::check(hr);
    }

private:
    win32::ComPtr<IDispatch> engine_;
};

}  // namespace

std::unique_ptr<JetEngine> Win32Platform::createJetEngine() {
    CLSID clsid{};
    win32::check(::CLSIDFromProgID(L"Jro.JetEngine", &clsid));
    win32::ComPtr<IDispatch> engine;
    win32::check(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                    engine.putVoid()));
    return std::make_unique<Win32JetEngine>(std::move(engine));
}

}  // namespace car

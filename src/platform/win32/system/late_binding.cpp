#include "platform/win32/system/late_binding.h"

#include <algorithm>
#include <string>

#include "platform/win32/error_text.h"

namespace car::win32 {

VARIANTARG textArgument(const Bstr& text) {
    VARIANTARG argument;
    automation::initVariant(argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = text.get();
    return argument;
}

VARIANTARG boolArgument(bool value) {
    VARIANTARG argument;
    automation::initVariant(argument);
    argument.vt = VT_BOOL;
    argument.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return argument;
}

VARIANTARG longArgument(std::int32_t value) {
    VARIANTARG argument;
    automation::initVariant(argument);
    argument.vt = VT_I4;
    argument.lVal = value;
    return argument;
}

void invokeByName(IDispatch& object, const wchar_t* name, WORD kind, std::vector<VARIANTARG> arguments,
                  Variant& result) {
    std::wstring memberName(name);
    LPOLESTR names[] = {memberName.data()};
    DISPID id = DISPID_UNKNOWN;
    check(object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    // IDispatch takes its arguments last first.
    std::reverse(arguments.begin(), arguments.end());
    DISPPARAMS parameters{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    EXCEPINFO exception{};
    UINT badArgument = 0;
    const HRESULT hr =
        object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &parameters, result.put(), &exception, &badArgument);
    if (hr == DISP_E_EXCEPTION) throw exceptionError(exception);
    check(hr);
}

}  // namespace car::win32

// Calls by name through IDispatch, as an automation client makes them: no
// type library, no headers of the server's own, positional arguments only.
#pragma once

#include <oaidl.h>

#include <cstdint>
#include <vector>

#include "platform/win32/com.h"

namespace car::win32 {

// Arguments as IDispatch takes them. A text's BSTR stays the caller's.
VARIANTARG textArgument(const Bstr& text);
VARIANTARG boolArgument(bool value);
VARIANTARG longArgument(std::int32_t value);

// One call of the member `name` (a method or a property, as `kind` says),
// its arguments in their natural order; the answer into `result`. An
// exception the object raises is thrown as its Error.
void invokeByName(IDispatch& object, const wchar_t* name, WORD kind, std::vector<VARIANTARG> arguments,
                  Variant& result);

}  // namespace car::win32

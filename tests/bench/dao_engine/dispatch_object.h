// The IDispatch side every DAO stand-in object shares: reference counting, members found by name
// without regard to case, positional arguments, and failures raised as DAO raises them (Invoke's
// DISP_E_EXCEPTION with DAO's error number in EXCEPINFO's wCode, its words and its source, and the
// same as the thread's error object).
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <utility>

#include "platform/win32/com.h"

namespace dao {

using car::win32::ComPtr;

// A failure DAO itself reports. The source is the object's unless given.
struct DaoError {
    int number;
    std::wstring description;
    const wchar_t* source = nullptr;
};

// A call IDispatch refuses before DAO sees it (a wrong argument count or type); `argument` counts
// in the caller's order.
struct CallError {
    HRESULT hr;
    std::size_t argument = 0;
};

struct Member {
    const wchar_t* name;
    DISPID id;
};

// The positional arguments of a call, in the caller's order (IDispatch passes them last first).
class Arguments {
public:
    explicit Arguments(const DISPPARAMS& params) : params_(params) {}
    [[nodiscard]] std::size_t size() const { return params_.cArgs; }
    // Refuses fewer or more arguments than the member takes.
    void expect(std::size_t least, std::size_t most) const;
    // An optional argument left out (VT_ERROR with DISP_E_PARAMNOTFOUND), or beyond the last.
    [[nodiscard]] bool missing(std::size_t index) const;
    [[nodiscard]] bool is_text(std::size_t index) const;
    // The argument coerced as automation coerces it; a type that does not convert is refused.
    [[nodiscard]] std::wstring text(std::size_t index) const;
    [[nodiscard]] bool flag(std::size_t index, bool fallback) const;
    [[nodiscard]] std::int32_t number(std::size_t index) const;

private:
    [[nodiscard]] const VARIANT& at(std::size_t index) const;
    void coerce(std::size_t index, VARTYPE type, car::win32::Variant& into) const;

    const DISPPARAMS& params_;
};

// COM interfaces have no virtual destructor by design; this class adds one, and objects are only
// ever destroyed by their own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class DispatchObject : public IDispatch, public ISupportErrorInfo {
public:
    DispatchObject();
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;
    virtual ~DispatchObject();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch, without type information.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* bad_argument) override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

protected:
    [[nodiscard]] virtual std::span<const Member> members() const = 0;
    // The source DAO names in this object's errors ("DAO.Database").
    [[nodiscard]] virtual const wchar_t* source() const = 0;
    // Carries out a member found by members(); throws DaoError or CallError.
    virtual void call(DISPID id, WORD flags, const Arguments& arguments, VARIANT& result) = 0;

    // Refuses a call of the wrong kind (a property called as a method, say).
    static void require(WORD flags, WORD kind);

private:
    HRESULT raise(const DaoError& error, EXCEPINFO* exception) const;

    LONG references_ = 1;
};
#pragma GCC diagnostic pop

// A new object, handed out as IDispatch with the one reference it starts with.
template <class Object, class... Args>
ComPtr<IDispatch> make_object(Args&&... args) {
    auto object = std::make_unique<Object>(std::forward<Args>(args)...);
    ComPtr<IDispatch> dispatch;
    *dispatch.put() = object.release();
    return dispatch;
}

// Answers into Invoke's result: the variant holds a reference of its own, or a copy of the text.
void answer_object(VARIANT& result, ComPtr<IDispatch> object);
void answer_text(VARIANT& result, const std::wstring& text);
void answer_long(VARIANT& result, std::int32_t value);
void answer_short(VARIANT& result, std::int16_t value);

}  // namespace dao

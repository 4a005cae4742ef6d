// DAO 3.6 by its ProgID, called by name through IDispatch as an automation
// client would: no type library, no headers of DAO's own. Each operation runs
// whole (engine, open, read, close) on a thread of its own in a
// single-threaded apartment, so that the window's thread goes on handling
// messages while DAO counts the rows of a big table.
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/com.h"
#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/late_binding.h"
#include "platform/win32/system/win32_platform.h"

namespace car {

namespace {

using win32::boolArgument;
using win32::Bstr;
using win32::check;
using win32::ComPtr;
using win32::longArgument;
using win32::textArgument;
using win32::Variant;

// A healthy read takes seconds on a big table; a DAO that stops answering
// must not hold the run, with the suite stopped, for ever.
constexpr DWORD kDaoCallLimitMs = 120'000;

DaoMissing daoMissing(HRESULT hr) {
    DaoMissing missing;
    missing.number = static_cast<std::int32_t>(hr);
    missing.description = win32::describeHresult(hr);
    return missing;
}

// The engine, created in the calling thread's apartment. The in-process
// server is loaded from the full path its registration names.
ComPtr<IDispatch> createDaoEngine() {
    CLSID clsid{};
    HRESULT hr = ::CLSIDFromProgID(L"DAO.DBEngine.36", &clsid);
    if (FAILED(hr)) throw daoMissing(hr);
    ComPtr<IDispatch> engine;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, engine.putVoid());
    if (FAILED(hr)) throw daoMissing(hr);
    return engine;
}

// The answer converted to the type, whichever type the object chose to
// answer in (DAO gives a count as a 16-bit integer, say).
void converted(IDispatch& object, const wchar_t* name, WORD kind, std::vector<VARIANTARG> arguments, VARTYPE type,
               Variant& value) {
    Variant answer;
    win32::invokeByName(object, name, kind, std::move(arguments), answer);
    check(win32::automation::changeType(*value.put(), answer.get(), type));
}

ComPtr<IDispatch> objectCall(IDispatch& object, const wchar_t* name, WORD kind,
                             std::vector<VARIANTARG> arguments = {}) {
    Variant value;
    converted(object, name, kind, std::move(arguments), VT_DISPATCH, value);
    ComPtr<IDispatch> answer;
    if (value.get().pdispVal == nullptr) throw win32::hresultError(E_POINTER);
    check(value.get().pdispVal->QueryInterface(IID_IDispatch, answer.putVoid()));
    return answer;
}

ComPtr<IDispatch> objectProperty(IDispatch& object, const wchar_t* name, std::vector<VARIANTARG> arguments = {}) {
    return objectCall(object, name, DISPATCH_PROPERTYGET, std::move(arguments));
}

std::wstring textProperty(IDispatch& object, const wchar_t* name) {
    Variant value;
    converted(object, name, DISPATCH_PROPERTYGET, {}, VT_BSTR, value);
    return win32::bstrText(value.get().bstrVal);
}

std::int32_t longProperty(IDispatch& object, const wchar_t* name) {
    Variant value;
    converted(object, name, DISPATCH_PROPERTYGET, {}, VT_I4, value);
    return value.get().lVal;
}

std::int64_t bigProperty(IDispatch& object, const wchar_t* name) {
    Variant value;
    converted(object, name, DISPATCH_PROPERTYGET, {}, VT_I8, value);
    return value.get().llVal;
}

// A set of flags: its 32 bits, whether the object hands them out signed (as
// DAO's Long, the system object's flag making it negative) or unsigned.
std::int32_t flagsProperty(IDispatch& object, const wchar_t* name) {
    const std::int64_t value = bigProperty(object, name);
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::uint32_t>::max())
        throw win32::hresultError(DISP_E_OVERFLOW);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// An object with a Close method (a database, a recordset), closed on every
// way out: until Close DAO keeps the file open without delete sharing, and
// the run renames it right after reading.
class Closing {
public:
    explicit Closing(ComPtr<IDispatch> object) : object_(std::move(object)) {}
    Closing(const Closing&) = delete;
    Closing& operator=(const Closing&) = delete;
    // After a failure: closed as well as it goes, the first failure is the
    // one reported.
    ~Closing() {
        if (!object_) return;
        try {
            close();
        } catch (...) {
        }
    }

    IDispatch& operator*() const noexcept { return *object_.get(); }

    // Closed now, failing as Close fails.
    void close() {
        const ComPtr<IDispatch> object = std::move(object_);
        Variant nothing;
        win32::invokeByName(*object.get(), L"Close", DISPATCH_METHOD, {}, nothing);
    }

private:
    ComPtr<IDispatch> object_;
};

// Shared, read-only: the run only reads, and others may have it open.
ComPtr<IDispatch> openDatabase(IDispatch& engine, const std::wstring& path) {
    const Bstr name(path);
    return objectCall(engine, L"OpenDatabase", DISPATCH_METHOD,
                      {textArgument(name), boolArgument(false), boolArgument(true)});
}

std::vector<TableFacts> readTables(IDispatch& engine, const std::wstring& path) {
    Closing database(openDatabase(engine, path));
    std::vector<TableFacts> tables;
    {
        const ComPtr<IDispatch> tableDefs = objectProperty(*database, L"TableDefs");
        const std::int32_t count = longProperty(*tableDefs.get(), L"Count");
        for (std::int32_t i = 0; i < count; ++i) {
            const ComPtr<IDispatch> tableDef = objectProperty(*tableDefs.get(), L"Item", {longArgument(i)});
            TableFacts table;
            table.name = textProperty(*tableDef.get(), L"Name");
            table.attributes = flagsProperty(*tableDef.get(), L"Attributes");
            table.rowCount = bigProperty(*tableDef.get(), L"RecordCount");
            tables.push_back(std::move(table));
        }
    }
    database.close();
    return tables;
}

std::int64_t countRows(IDispatch& engine, const std::wstring& path, const std::wstring& table) {
    Closing database(openDatabase(engine, path));
    std::int64_t rows = 0;
    {
        const Bstr query(L"SELECT COUNT(*) FROM [" + table + L"]");
        Closing recordset(objectCall(*database, L"OpenRecordset", DISPATCH_METHOD, {textArgument(query)}));
        {
            const ComPtr<IDispatch> fields = objectProperty(*recordset, L"Fields");
            const ComPtr<IDispatch> field = objectProperty(*fields.get(), L"Item", {longArgument(0)});
            rows = bigProperty(*field.get(), L"Value");
        }
        recordset.close();
    }
    database.close();
    return rows;
}

// One operation as its thread takes it. The caller and the thread both hold
// it: a caller that gave up leaves it, and what the work captured, to the
// thread.
template <class Result>
struct DaoCall {
    std::function<Result(IDispatch& engine)> work;
    std::optional<Result> result;
    std::exception_ptr failure;
    win32::UniqueHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// The thread's whole life: its apartment, the engine and the work, all let
// go of before the caller hears that it is done.
template <class Result>
void serve(DaoCall<Result>& call) noexcept {
    try {
        const win32::ComApartment apartment(COINIT_APARTMENTTHREADED);
        try {
            const ComPtr<IDispatch> engine = createDaoEngine();
            call.result = call.work(*engine.get());
        } catch (...) {
            call.failure = std::current_exception();
        }
        call.work = nullptr;  // what it holds is let go of here, inside the apartment
    } catch (...) {
        call.failure = std::current_exception();
    }
    ::SetEvent(call.done.get());
}

// Runs the work on a fresh thread and waits for it, handling the window's
// messages; rethrows what the work threw. A thread that does not answer in
// time is left to finish on its own.
template <class Result>
Result runOnDaoThread(Win32Platform& platform, const std::wstring& what,
                      std::function<Result(IDispatch& engine)> work) {
    const auto call = std::make_shared<DaoCall<Result>>();
    if (!call->done) throw win32::win32Error(::GetLastError());
    call->work = std::move(work);
    try {
        std::thread([call] { serve(*call); }).detach();
    } catch (const std::system_error&) {
        throw win32::hresultError(E_OUTOFMEMORY);
    }
    if (!platform.waitPumping(call->done.get(), kDaoCallLimitMs))
        throw Error{kWmiTimeoutHr, L"DAO did not answer within two minutes while " + what + L"."};
    if (call->failure) {
        try {
            std::rethrow_exception(call->failure);
        } catch (const Error&) {
            throw;
        } catch (const std::exception&) {  // the thread ran out of memory
            throw win32::hresultError(E_OUTOFMEMORY);
        }
    }
    return std::move(*call->result);
}

}  // namespace

std::vector<TableFacts> Win32Platform::daoTables(const std::wstring& path) {
    return runOnDaoThread<std::vector<TableFacts>>(*this, L"reading the tables of " + path,
                                                   [path](IDispatch& engine) { return readTables(engine, path); });
}

std::int64_t Win32Platform::daoCountRows(const std::wstring& path, const std::wstring& table) {
    // JET's brackets have no escape for their own closing bracket.
    if (table.find(L']') != std::wstring::npos)
        throw Error{hresult(0x80070057u),  // E_INVALIDARG
                    L"The table name \"" + table + L"\" holds a ']', which a query cannot put in brackets."};
    return runOnDaoThread<std::int64_t>(*this, L"counting the rows of [" + table + L"] in " + path,
                                        [path, table](IDispatch& engine) { return countRows(engine, path, table); });
}

}  // namespace car

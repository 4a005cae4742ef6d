// A small client of "DAO.DBEngine.36" for tests, calling it through IDispatch by name as the
// maintenance program does:
//   dao_check survey PATH
//       opens PATH shared and read-only and prints a line per TableDef, in the collection's order:
//       Name TAB Attributes TAB RecordCount TAB the COUNT(*) of its rows; checks that each answer
//       comes in DAO's type (Count VT_I2, Attributes, RecordCount and Value VT_I4, Name VT_BSTR)
//   dao_check count PATH TABLE
//       prints what "SELECT COUNT(*) FROM [TABLE]" counts
//   dao_check hold PATH GATE close|release [exclusive]
//       opens PATH (shared and read-only, or exclusively), takes its TableDefs and their first
//       TableDef, prints "open"; once the file GATE exists, closes the database (and prints what the
//       TableDef answers since: "after close: ...") or releases every object, printing "closed" or
//       "released"; ends when GATE is gone again (each wait at most a minute)
// A failure prints "error N DESCRIPTION" (DAO's number from EXCEPINFO's wCode, or Invoke's HRESULT
// in hex) and ends the command; its source and the thread's error object go to stderr. Last, stderr
// says whether the DLL could unload ("unload: ready"): a leaked reference shows.
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/com.h"
#include "text.h"
#include "unload_state.h"

namespace {

using car::win32::Bstr;
using car::win32::ComPtr;
using car::win32::Variant;

// What the caller sees of a failed call.
struct Failure {
    std::wstring number;  // DAO's in decimal, an HRESULT in hex
    std::wstring description;
    std::wstring source;
};

void err(const std::wstring& text) {
    const std::string line = bench::ToUtf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
}

std::wstring hex(HRESULT hr) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

void check(HRESULT hr) {
    if (FAILED(hr)) {
        throw Failure{hex(hr), L"", L""};
    }
}

// Owns the BSTRs of the arguments until the call is over.
class Call {
public:
    Call& text(const std::wstring& value) {
        Bstr owned;
        owned.adopt(SysAllocStringLen(value.data(), static_cast<UINT>(value.size())));
        VARIANTARG argument{};
        V_VT(&argument) = VT_BSTR;
        V_BSTR(&argument) = owned.get();
        strings_.push_back(std::move(owned));
        arguments_.push_back(argument);
        return *this;
    }
    Call& flag(bool value) {
        VARIANTARG argument{};
        V_VT(&argument) = VT_BOOL;
        V_BOOL(&argument) = value ? VARIANT_TRUE : VARIANT_FALSE;
        arguments_.push_back(argument);
        return *this;
    }
    Call& number(long value) {
        VARIANTARG argument{};
        V_VT(&argument) = VT_I4;
        V_I4(&argument) = value;
        arguments_.push_back(argument);
        return *this;
    }

    // Calls the member by name; DAO's failure is thrown as a Failure, its error object reported.
    void invoke(IDispatch& object, const wchar_t* name, WORD kind, Variant& result) {
        std::wstring member(name);
        LPOLESTR names[] = {member.data()};
        DISPID id = DISPID_UNKNOWN;
        check(object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
        std::vector<VARIANTARG> reversed(arguments_.rbegin(), arguments_.rend());
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        EXCEPINFO exception{};
        UINT bad_argument = 0;
        const HRESULT hr =
            object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result.put(), &exception, &bad_argument);
        if (hr == DISP_E_EXCEPTION) {
            Bstr source;
            Bstr description;
            Bstr help_file;
            source.adopt(exception.bstrSource);
            description.adopt(exception.bstrDescription);
            help_file.adopt(exception.bstrHelpFile);
            report_error_object(object);
            const std::wstring number = exception.wCode != 0 ? std::to_wstring(exception.wCode) : hex(exception.scode);
            throw Failure{number, description.str(), source.str()};
        }
        check(hr);
    }

private:
    // The thread's error object, as a caller that asks ISupportErrorInfo reads it.
    static void report_error_object(IDispatch& object) {
        ComPtr<ISupportErrorInfo> support;
        ComPtr<IErrorInfo> info;
        Bstr description;
        if (SUCCEEDED(object.QueryInterface(IID_ISupportErrorInfo, support.putVoid())) &&
            support->InterfaceSupportsErrorInfo(IID_IDispatch) == S_OK && GetErrorInfo(0, info.put()) == S_OK &&
            SUCCEEDED(info->GetDescription(description.put()))) {
            err(L"errorinfo: " + description.str());
        } else {
            err(L"errorinfo: none");
        }
    }

    std::vector<Bstr> strings_;
    std::vector<VARIANTARG> arguments_;
};

void expect_type(const Variant& value, VARTYPE type, const wchar_t* what) {
    if (V_VT(&value.get()) != type) {
        throw Failure{L"type",
                      std::wstring(what) + L" came as VARTYPE " + std::to_wstring(V_VT(&value.get())) + L", not " +
                          std::to_wstring(type),
                      L""};
    }
}

ComPtr<IDispatch> object_of(Variant& value, const wchar_t* what) {
    expect_type(value, VT_DISPATCH, what);
    ComPtr<IDispatch> object;
    if (V_DISPATCH(&value.get()) == nullptr) {
        throw Failure{L"type", std::wstring(what) + L" came as no object", L""};
    }
    check(V_DISPATCH(&value.get())->QueryInterface(IID_IDispatch, object.putVoid()));
    return object;
}

ComPtr<IDispatch> get_object(IDispatch& object, const wchar_t* name, Call& call) {
    Variant value;
    call.invoke(object, name, DISPATCH_PROPERTYGET, value);
    return object_of(value, name);
}

ComPtr<IDispatch> get_object(IDispatch& object, const wchar_t* name) {
    Call none;
    return get_object(object, name, none);
}

ComPtr<IDispatch> create_engine() {
    CLSID clsid{};
    check(CLSIDFromProgID(L"DAO.DBEngine.36", &clsid));
    ComPtr<IDispatch> engine;
    check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, engine.putVoid()));
    return engine;
}

ComPtr<IDispatch> open_database(IDispatch& engine, const std::wstring& path, bool exclusive) {
    Variant value;
    Call().text(path).flag(exclusive).flag(!exclusive).invoke(engine, L"OpenDatabase", DISPATCH_METHOD, value);
    return object_of(value, L"OpenDatabase");
}

void close(IDispatch& object) {
    Variant nothing;
    Call().invoke(object, L"Close", DISPATCH_METHOD, nothing);
}

long count_rows(IDispatch& database, const std::wstring& table) {
    Variant opened;
    Call().text(L"SELECT COUNT(*) FROM [" + table + L"]").invoke(database, L"OpenRecordset", DISPATCH_METHOD, opened);
    const ComPtr<IDispatch> recordset = object_of(opened, L"OpenRecordset");
    const ComPtr<IDispatch> fields = get_object(*recordset.get(), L"Fields");
    const ComPtr<IDispatch> field = get_object(*fields.get(), L"Item", Call().number(0));
    Variant value;
    Call().invoke(*field.get(), L"Value", DISPATCH_PROPERTYGET, value);
    expect_type(value, VT_I4, L"Value");
    close(*recordset.get());
    return V_I4(&value.get());
}

void survey(const std::wstring& path) {
    const ComPtr<IDispatch> engine = create_engine();
    const ComPtr<IDispatch> database = open_database(*engine.get(), path, false);
    const ComPtr<IDispatch> table_defs = get_object(*database.get(), L"TableDefs");
    Variant count;
    Call().invoke(*table_defs.get(), L"Count", DISPATCH_PROPERTYGET, count);
    expect_type(count, VT_I2, L"Count");
    for (long i = 0; i < V_I2(&count.get()); ++i) {
        const ComPtr<IDispatch> table = get_object(*table_defs.get(), L"Item", Call().number(i));
        Variant name;
        Variant attributes;
        Variant stored;
        Call().invoke(*table.get(), L"Name", DISPATCH_PROPERTYGET, name);
        Call().invoke(*table.get(), L"Attributes", DISPATCH_PROPERTYGET, attributes);
        Call().invoke(*table.get(), L"RecordCount", DISPATCH_PROPERTYGET, stored);
        expect_type(name, VT_BSTR, L"Name");
        expect_type(attributes, VT_I4, L"Attributes");
        expect_type(stored, VT_I4, L"RecordCount");
        const std::wstring text = car::win32::bstrText(V_BSTR(&name.get()));
        bench::PrintLine(text + L"\t" + std::to_wstring(V_I4(&attributes.get())) + L"\t" +
                         std::to_wstring(V_I4(&stored.get())) + L"\t" +
                         std::to_wstring(count_rows(*database.get(), text)));
    }
    close(*database.get());
}

void count(const std::wstring& path, const std::wstring& table) {
    const ComPtr<IDispatch> engine = create_engine();
    const ComPtr<IDispatch> database = open_database(*engine.get(), path, false);
    bench::PrintLine(std::to_wstring(count_rows(*database.get(), table)));
    close(*database.get());
}

// Polls for the gate, at most a minute.
bool await_gate(const std::wstring& gate, bool present) {
    for (int i = 0; i < 3000; ++i) {
        if ((GetFileAttributesW(gate.c_str()) != INVALID_FILE_ATTRIBUTES) == present) {
            return true;
        }
        Sleep(20);
    }
    return false;
}

int hold(const std::wstring& path, const std::wstring& gate, bool closing, bool exclusive) {
    ComPtr<IDispatch> engine = create_engine();
    ComPtr<IDispatch> database = open_database(*engine.get(), path, exclusive);
    ComPtr<IDispatch> table_defs = get_object(*database.get(), L"TableDefs");
    ComPtr<IDispatch> table = get_object(*table_defs.get(), L"Item", Call().number(0));
    bench::PrintLine(L"open");
    if (!await_gate(gate, true)) {
        return 3;
    }
    if (closing) {
        close(*database.get());
        bench::PrintLine(L"closed");
        try {
            Variant name;
            Call().invoke(*table.get(), L"Name", DISPATCH_PROPERTYGET, name);
            bench::PrintLine(L"after close: " + car::win32::bstrText(V_BSTR(&name.get())));
        } catch (const Failure& failure) {
            bench::PrintLine(L"after close: error " + failure.number + L" " + failure.description);
        }
    } else {
        table.reset();
        table_defs.reset();
        database.reset();
        engine.reset();
        bench::PrintLine(L"released");
    }
    return await_gate(gate, false) ? 0 : 3;
}

int run(const std::vector<std::wstring>& args) {
    const std::wstring command = args.size() > 1 ? args[1] : L"";
    if (command == L"survey" && args.size() == 3) {
        survey(args[2]);
        return 0;
    }
    if (command == L"count" && args.size() == 4) {
        count(args[2], args[3]);
        return 0;
    }
    if (command == L"hold" && (args.size() == 5 || (args.size() == 6 && args[5] == L"exclusive")) &&
        (args[4] == L"close" || args[4] == L"release")) {
        return hold(args[2], args[3], args[4] == L"close", args.size() == 6);
    }
    err(L"usage: dao_check survey PATH | count PATH TABLE | hold PATH GATE close|release [exclusive]");
    return 2;
}

}  // namespace

int wmain() {
    _setmode(_fileno(stdout), _O_BINARY);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    int status = 1;
    try {
        status = run(bench::CommandLineArguments());
    } catch (const Failure& failure) {
        bench::PrintLine(L"error " + failure.number + L" " + failure.description);
        err(L"source: " + failure.source);
    }
    err(bench::com::unload_state(L"dao_engine.dll"));
    CoUninitialize();
    return status;
}

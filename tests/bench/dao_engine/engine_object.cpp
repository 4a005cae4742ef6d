// DBEngine and Database: opening a database, its TableDefs, the one query the stand-in answers,
// and Close.
#include <array>
#include <cwctype>
#include <optional>
#include <string_view>

#include "dao_errors.h"
#include "dao_objects.h"

namespace dao {
namespace {

// Reads "SELECT COUNT(*) FROM [name]", keywords in any case, blanks between tokens, a ';' at the
// end allowed. The brackets are required: they are how the program names a table.
class CountQuery {
public:
    explicit CountQuery(std::wstring_view text) : text_(text) {}

    std::optional<std::wstring> table() {
        if (!word(L"SELECT") || !word(L"COUNT") || !symbol(L'(') || !symbol(L'*') || !symbol(L')') || !word(L"FROM") ||
            !symbol(L'[')) {
            return std::nullopt;
        }
        const auto close = text_.find(L']', at_);
        if (close == std::wstring_view::npos) {
            return std::nullopt;
        }
        std::wstring name(text_.substr(at_, close - at_));
        at_ = close + 1;
        symbol(L';');
        skip_blanks();
        if (at_ != text_.size() || name.empty()) {
            return std::nullopt;
        }
        return name;
    }

private:
    void skip_blanks() {
        while (at_ < text_.size() && std::iswspace(static_cast<wint_t>(text_[at_]))) {
            ++at_;
        }
    }
    bool word(std::wstring_view keyword) {
        skip_blanks();
        if (text_.size() - at_ < keyword.size()) {
            return false;
        }
        for (std::size_t i = 0; i < keyword.size(); ++i) {
            if (std::towupper(static_cast<wint_t>(text_[at_ + i])) != static_cast<wint_t>(keyword[i])) {
                return false;
            }
        }
        const std::size_t end = at_ + keyword.size();
        if (end < text_.size() && (std::iswalnum(static_cast<wint_t>(text_[end])) || text_[end] == L'_')) {
            return false;  // a longer word
        }
        at_ = end;
        return true;
    }
    bool symbol(wchar_t c) {
        skip_blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    std::wstring_view text_;
    std::size_t at_ = 0;
};

class Database final : public DispatchObject {
public:
    explicit Database(std::shared_ptr<OpenDatabase> database) : database_(std::move(database)) {}

private:
    enum : DISPID { kTableDefs = 1, kOpenRecordset, kClose, kName };
    static constexpr std::array<Member, 4> kMembers{{
        {L"TableDefs", kTableDefs},
        {L"OpenRecordset", kOpenRecordset},
        {L"Close", kClose},
        {L"Name", kName},
    }};

    std::span<const Member> members() const override { return kMembers; }
    const wchar_t* source() const override { return L"DAO.Database"; }
    void call(DISPID id, WORD flags, const Arguments& arguments, VARIANT& result) override {
        switch (id) {
            case kTableDefs:
                require(flags, DISPATCH_PROPERTYGET);
                arguments.expect(0, 0);
                return answer_object(result, make_table_defs(database_));
            case kOpenRecordset:
                require(flags, DISPATCH_METHOD);
                arguments.expect(1, 1);
                return answer_object(result, open_recordset(arguments.text(0)));
            case kClose:
                require(flags, DISPATCH_METHOD);
                arguments.expect(0, 0);
                return database_->close();
            default:
                require(flags, DISPATCH_PROPERTYGET);
                arguments.expect(0, 0);
                static_cast<void>(database_->file());
                return answer_text(result, database_->path());
        }
    }

    ComPtr<IDispatch> open_recordset(const std::wstring& query) {
        const jetfile::JetFile& file = database_->file();
        const std::optional<std::wstring> name = CountQuery(query).table();
        if (!name) {
            throw operation_not_supported();  // any other statement is beyond this stand-in
        }
        for (const jetfile::TableEntry& table : file.tables()) {
            if (CompareStringOrdinal(table.name.c_str(), -1, name->c_str(), -1, TRUE) != CSTR_EQUAL) {
                continue;
            }
            if (table.type != jetfile::kLocalTable) {
                throw operation_not_supported();  // a linked table's rows are in another database
            }
            return make_count_recordset(database_, database_->count_rows(table));
        }
        throw cannot_find_input_table(*name);
    }

    std::shared_ptr<OpenDatabase> database_;
};

class Engine final : public DispatchObject {
private:
    enum : DISPID { kOpenDatabase = 1, kVersion };
    static constexpr std::array<Member, 2> kMembers{{{L"OpenDatabase", kOpenDatabase}, {L"Version", kVersion}}};

    std::span<const Member> members() const override { return kMembers; }
    const wchar_t* source() const override { return L"DAO.DBEngine"; }
    void call(DISPID id, WORD flags, const Arguments& arguments, VARIANT& result) override {
        if (id == kVersion) {
            require(flags, DISPATCH_PROPERTYGET);
            arguments.expect(0, 0);
            return answer_text(result, L"3.6");
        }
        // OpenDatabase(Name, Options, ReadOnly, Connect): Options true opens the file exclusively.
        require(flags, DISPATCH_METHOD);
        arguments.expect(1, 4);
        const std::wstring path = arguments.text(0);
        const bool exclusive = arguments.flag(1, false);
        const bool read_only = arguments.flag(2, false);
        if (!arguments.missing(3)) {
            static_cast<void>(arguments.text(3));  // no password or ISAM is supported, nor needed
        }
        try {
            auto database = std::make_shared<OpenDatabase>(path, exclusive, read_only);
            answer_object(result, make_object<Database>(std::move(database)));
        } catch (DaoError& error) {
            error.source = L"DAO.Workspace";  // DBEngine opens through its default workspace
            throw;
        }
    }
};

}  // namespace

HRESULT create_engine(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    try {
        const ComPtr<IDispatch> engine = make_object<Engine>();
        return engine->QueryInterface(riid, object);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace dao

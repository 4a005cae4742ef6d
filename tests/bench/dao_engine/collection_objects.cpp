// TableDefs and TableDef; the counting recordset with its Fields and Field.
#include <algorithm>
#include <array>
#include <vector>

#include "dao_errors.h"
#include "dao_objects.h"

namespace dao {
namespace {

bool name_less(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_LESS_THAN;
}

bool name_equal(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// What a TableDef shows, taken when the collection was read.
struct TableFacts {
    std::wstring name;
    std::int32_t attributes = 0;
    std::int32_t record_count = 0;
};

// DAO's counts are Longs.
std::int32_t clamp_count(std::uint32_t count) {
    return static_cast<std::int32_t>(std::min<std::uint32_t>(count, 0x7FFFFFFF));
}

class TableDef final : public DispatchObject {
public:
    TableDef(std::shared_ptr<OpenDatabase> database, TableFacts facts)
        : database_(std::move(database)), facts_(std::move(facts)) {}

private:
    enum : DISPID { kName = 1, kAttributes, kRecordCount };
    static constexpr std::array<Member, 3> kMembers{{
        {L"Name", kName},
        {L"Attributes", kAttributes},
        {L"RecordCount", kRecordCount},
    }};

    std::span<const Member> members() const override { return kMembers; }
    const wchar_t* source() const override { return L"DAO.TableDef"; }
    void call(DISPID id, WORD flags, const Arguments& arguments, VARIANT& result) override {
        require(flags, DISPATCH_PROPERTYGET);
        arguments.expect(0, 0);
        static_cast<void>(database_->file());  // a closed database's objects are gone
        switch (id) {
            case kName:
                return answer_text(result, facts_.name);
            case kAttributes:
                return answer_long(result, facts_.attributes);
            default:
                return answer_long(result, facts_.record_count);
        }
    }

    std::shared_ptr<OpenDatabase> database_;
    TableFacts facts_;
};

class TableDefs final : public DispatchObject {
public:
    explicit TableDefs(std::shared_ptr<OpenDatabase> database) : database_(std::move(database)) {
        for (const jetfile::TableEntry& table : database_->file().tables()) {
            const bool local = table.type == jetfile::kLocalTable;
            // DAO cannot know a linked table's rows without opening its database.
            tables_.push_back(
                {table.name, jetfile::dao_attributes(table), local ? clamp_count(table.stored_rows) : -1});
        }
        std::stable_sort(tables_.begin(), tables_.end(),
                         [](const TableFacts& a, const TableFacts& b) { return name_less(a.name, b.name); });
    }

private:
    enum : DISPID { kItem = DISPID_VALUE, kCount = 1 };
    static constexpr std::array<Member, 2> kMembers{{{L"Item", kItem}, {L"Count", kCount}}};

    std::span<const Member> members() const override { return kMembers; }
    const wchar_t* source() const override { return L"DAO.TableDefs"; }
    void call(DISPID id, WORD flags, const Arguments& arguments, VARIANT& result) override {
        static_cast<void>(database_->file());
        if (id == kCount) {
            require(flags, DISPATCH_PROPERTYGET);
            arguments.expect(0, 0);
            return answer_short(result, static_cast<std::int16_t>(std::min<std::size_t>(tables_.size(), 0x7FFF)));
        }
        // Item is the default member: a property with an index, or a method as a script calls it.
        require(flags, DISPATCH_PROPERTYGET | DISPATCH_METHOD);
        arguments.expect(1, 1);
        answer_object(result, make_object<TableDef>(database_, tables_.at(index_of(arguments))));
    }

    // By position from 0, or by name without regard to case.
    std::size_t index_of(const Arguments& arguments) const {
        if (arguments.is_text(0)) {
            const std::wstring name = arguments.text(0);
            const auto found = std::find_if(tables_.begin(), tables_.end(),
                                            [&](const TableFacts& table) { return name_equal(table.name, name); });
            if (found == tables_.end()) {
                throw item_not_found();
            }
            return static_cast<std::size_t>(found - tables_.begin());
        }
        const std::int32_t index = arguments.number(0);
        if (index < 0 || static_cast<std::size_t>(index) >= tables_.size()) {
            throw item_not_found();
        }
        return static_cast<std::size_t>(index);
    }

    std::shared_ptr<OpenDatabase> database_;
    std::vector<TableFacts> tables_;
};

// A recordset's one answer, shared by the recordset, its fields and its field.
struct CountResult {
    std::shared_ptr<OpenDatabase> database;
    std::int32_t count = 0;
    bool closed = false;

    // Closing the recordset or its database ends them all.
    void check() const {
        if (closed || database->closed()) {
            throw object_invalid();
        }
    }
};

// JET names an expression's column itself.
constexpr wchar_t kCountFieldName[] = L"Expr1000";

class Field final : public DispatchObject {
public:
    explicit Field(std::shared_ptr<CountResult> result) : result_(std::move(result)) {}

private:
    enum : DISPID { kValue = DISPID_VALUE, kName = 1 };
    static constexpr std::array<Member, 2> kMembers{{{L"Value", kValue}, {L"Name", kName}}};

    std::span<const Member> members() const override { return kMembers; }
    const wchar_t* source() const override { return L"DAO.Field"; }
    void call(DISPID id, WORD flags, const Arguments& arguments, VARIANT& result) override {
        require(flags, DISPATCH_PROPERTYGET);
        arguments.expect(0, 0);
        result_->check();
        if (id == kName) {
            return answer_text(result, kCountFieldName);
        }
        answer_long(result, result_->count);
    }

    std::shared_ptr<CountResult> result_;
};

class Fields final : public DispatchObject {
public:
    explicit Fields(std::shared_ptr<CountResult> result) : result_(std::move(result)) {}

private:
    enum : DISPID { kItem = DISPID_VALUE, kCount = 1 };
    static constexpr std::array<Member, 2> kMembers{{{L"Item", kItem}, {L"Count", kCount}}};

    std::span<const Member> members() const override { return kMembers; }
    const wchar_t* source() const override { return L"DAO.Fields"; }
    void call(DISPID id, WORD flags, const Arguments& arguments, VARIANT& result) override {
        result_->check();
        if (id == kCount) {
            require(flags, DISPATCH_PROPERTYGET);
            arguments.expect(0, 0);
            return answer_short(result, 1);
        }
        require(flags, DISPATCH_PROPERTYGET | DISPATCH_METHOD);
        arguments.expect(1, 1);
        const bool found =
            arguments.is_text(0) ? name_equal(arguments.text(0), kCountFieldName) : arguments.number(0) == 0;
        if (!found) {
            throw item_not_found();
        }
        answer_object(result, make_object<Field>(result_));
    }

    std::shared_ptr<CountResult> result_;
};

class Recordset final : public DispatchObject {
public:
    explicit Recordset(std::shared_ptr<CountResult> result) : result_(std::move(result)) {}

private:
    enum : DISPID { kFields = 1, kClose };
    static constexpr std::array<Member, 2> kMembers{{{L"Fields", kFields}, {L"Close", kClose}}};

    std::span<const Member> members() const override { return kMembers; }
    const wchar_t* source() const override { return L"DAO.Recordset"; }
    void call(DISPID id, WORD flags, const Arguments& arguments, VARIANT& result) override {
        arguments.expect(0, 0);
        result_->check();
        if (id == kClose) {
            require(flags, DISPATCH_METHOD);
            result_->closed = true;
            return;
        }
        require(flags, DISPATCH_PROPERTYGET);
        answer_object(result, make_object<Fields>(result_));
    }

    std::shared_ptr<CountResult> result_;
};

}  // namespace

ComPtr<IDispatch> make_table_defs(const std::shared_ptr<OpenDatabase>& database) {
    return make_object<TableDefs>(database);
}

ComPtr<IDispatch> make_count_recordset(const std::shared_ptr<OpenDatabase>& database, std::uint32_t count) {
    return make_object<Recordset>(std::make_shared<CountResult>(CountResult{database, clamp_count(count), false}));
}

}  // namespace dao

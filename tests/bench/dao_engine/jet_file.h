// A JET 4 database read as DAO reads its tables: page 0's header, the catalogue MSysObjects (whose
// definition is page 2), each table's definition with its stored row count, and on request the live
// rows on the data pages a table owns. A file it cannot make sense of throws FormatError; every walk
// is bounded by the file's page count.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet_pages.h"
#include "table_definition.h"

namespace jetfile {

// MSysObjects.Type of the objects DAO lists as TableDefs.
enum ObjectType : std::int16_t {
    kLocalTable = 1,
    kLinkedOdbcTable = 4,
    kLinkedTable = 6,
};

// A table as the catalogue names it.
struct TableEntry {
    std::wstring name;
    std::int16_t type = 0;
    std::uint32_t flags = 0;            // MSysObjects.Flags
    std::uint32_t definition_page = 0;  // local tables: Id & 0x00FFFFFF
    std::uint32_t stored_rows = 0;      // local tables: from the definition
    std::uint32_t used_pages = 0;       // local tables: their page map's row, page << 8 | row
    std::uint32_t catalogue_page = 0;   // where the catalogue row is
    std::uint16_t catalogue_slot = 0;
};

// TableDef.Attributes as DAO gives them: dbSystemObject for a system object (the catalogue's flag
// 0x80000000 or 0x2), else dbHiddenObject for a hidden one (0x8); dbAttachedTable or dbAttachedODBC
// for a linked table, with its own flags for exclusive use and a saved password.
std::int32_t dao_attributes(const TableEntry& table);

// A table of the user's own: local, neither system nor hidden, not named MSys... (nor ~..., a
// temporary object).
bool is_user_table(const TableEntry& table);

// Object names compare without regard to case.
bool names_equal(std::wstring_view a, std::wstring_view b);

class JetFile {
public:
    // Checks the header (signature, engine name, version 1 = JET 4), reads the catalogue, and each
    // local table's definition and page map. Throws FormatError or ReadError.
    explicit JetFile(const PageSource& pages);

    // Every table, linked ones included, in the catalogue's order.
    [[nodiscard]] const std::vector<TableEntry>& tables() const { return tables_; }
    [[nodiscard]] const TableDefinition& catalogue() const { return catalogue_; }

    // The data pages of the table: those its page map lists that name its definition as their owner.
    [[nodiscard]] std::vector<std::uint32_t> data_pages(const TableEntry& table) const;
    // The rows not flagged deleted on those pages; a moved row counts once, by its pointer.
    [[nodiscard]] std::uint32_t live_rows(const TableEntry& table) const;

private:
    void read_catalogue();
    [[nodiscard]] std::vector<std::uint32_t> mapped_pages(std::uint32_t owner, std::uint32_t used_pages) const;
    // Calls `visit(number, page)` for each data page of the table whose definition is on `owner`.
    template <class Visit>
    void for_each_data_page(std::uint32_t owner, std::uint32_t used_pages, Visit visit) const;

    const PageSource& pages_;
    TableDefinition catalogue_;
    std::vector<TableEntry> tables_;
};

}  // namespace jetfile

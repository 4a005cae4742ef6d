// A table's definition (TDEF) as a JET 4 file keeps it: a page of type 0x02, possibly continued
// over more pages, with the table's stored row count, its columns and the pointer to the map of the
// pages it owns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet_pages.h"

namespace jetfile {

// Column types this reader decodes; the others it only steps over.
enum ColumnType : std::uint8_t {
    kBooleanColumn = 0x01,
    kIntegerColumn = 0x03,  // 16 bits
    kLongColumn = 0x04,     // 32 bits
    kTextColumn = 0x0A,
};

struct Column {
    std::wstring name;
    std::uint8_t type = 0;
    std::uint16_t number = 0;        // its bit in a row's null mask
    std::uint16_t var_index = 0;     // its entry in a row's offset table, for a variable column
    std::uint16_t fixed_offset = 0;  // where it starts after the row's column count, for a fixed one
    std::uint16_t length = 0;
    bool fixed = false;
};

// Where the stored row count is on a definition's first page; the engine stand-in lowers or raises
// it where it leaves a row or a table out or adds one.
inline constexpr std::size_t kStoredRowsOffset = 16;

struct TableDefinition {
    std::uint32_t page = 0;  // the first page
    std::uint32_t stored_rows = 0;
    std::uint16_t variable_columns = 0;
    std::uint32_t used_pages = 0;  // the usage map's row: page number << 8 | row number
    std::vector<Column> columns;

    // The column of that name (exactly), or nullptr.
    [[nodiscard]] const Column* find(std::wstring_view name) const;
};

// Reads the definition that starts on `page`, following its continuation pages; each must be a
// definition page, and a chain that comes back to a page it passed is damaged.
TableDefinition read_table_definition(const PageSource& pages, std::uint32_t page);

}  // namespace jetfile

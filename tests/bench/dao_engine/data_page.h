// Data pages (type 0x01) of a JET 4 file: the definition page of the table that owns the page, the
// slot table of row offsets with their flags, the rows stored from the end of the page towards its
// header; the columns of a row; JET 4's text, plain or in its compressed form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet_pages.h"
#include "table_definition.h"

namespace jetfile {

// A slot's flags beside its offset: a deleted row, and a row that moved to another page and left
// a pointer to itself here.
inline constexpr std::uint16_t kDeletedRow = 0x4000;
inline constexpr std::uint16_t kOverflowRow = 0x8000;
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;

class DataPage {
public:
    // Throws unless the page is a data page whose slot table fits in it.
    explicit DataPage(const Page& page);

    [[nodiscard]] std::uint32_t owner() const;
    [[nodiscard]] std::uint16_t slot_count() const { return count_; }
    // A slot as stored: the row's offset with its flags.
    [[nodiscard]] std::uint16_t slot(std::uint16_t index) const;
    [[nodiscard]] bool live(std::uint16_t index) const { return (slot(index) & kDeletedRow) == 0; }
    // A row's bytes: from its offset to the offset of the row before it (the page's end for the
    // first); throws when they do not lie between the slot table and the page's end.
    [[nodiscard]] Bytes row(std::uint16_t index) const;

    // Where a slot is kept on the page.
    static std::size_t slot_position(std::uint16_t index);

private:
    const Page& page_;
    std::uint16_t count_;
};

// The columns of one row, as its table's definition describes them: the column count, the fixed
// columns, the variable ones with their offset table at the row's end, and the null mask last.
class Row {
public:
    Row(Bytes bytes, const TableDefinition& definition);

    // A column's bytes; nothing for a null, or for a column the row was written without.
    [[nodiscard]] std::optional<Bytes> value(const Column& column) const;
    // The row's bytes with one variable column's value replaced; the column must hold a value.
    [[nodiscard]] std::vector<std::uint8_t> with_value(const Column& column, Bytes value) const;

private:
    [[nodiscard]] bool present(const Column& column) const;

    Bytes bytes_;
    std::uint16_t columns_ = 0;
    std::size_t mask_length_ = 0;
    std::vector<std::uint16_t> offsets_;  // each variable column's start, then the end of their data
};

// Text columns hold UCS-2, or the compressed form (0xFF 0xFE, then one byte a character until a 0x00
// switches to two bytes a character and back).
std::wstring decode_text(Bytes bytes);
std::vector<std::uint8_t> encode_text(std::wstring_view text);

// Adds a row below the lowest row of a data page with a slot of its own, as the engine does with free
// space left; false when the page has no room for it.
bool insert_row(Page& page, Bytes row);

}  // namespace jetfile

#include "table_definition.h"

#include <set>

namespace jetfile {
namespace {

// The header every definition page starts with: type, a constant, free space, the next page.
constexpr std::size_t kNextPageOffset = 4;
constexpr std::size_t kPageHeader = 8;
// Far more than 255 columns with their names and indexes take; a longer chain is damaged.
constexpr std::size_t kMaxDefinitionPages = 64;

// The definition block of the first page (JET 4 offsets).
constexpr std::size_t kVariableColumnsOffset = 43;
constexpr std::size_t kColumnCountOffset = 45;
constexpr std::size_t kRealIndexCountOffset = 51;
constexpr std::size_t kUsedPagesOffset = 55;
constexpr std::size_t kBlockEnd = 63;
constexpr std::size_t kRealIndexEntry = 12;

// One column's entry.
constexpr std::size_t kColumnEntry = 25;
constexpr std::size_t kColumnNumberOffset = 5;
constexpr std::size_t kVarIndexOffset = 7;
constexpr std::size_t kColumnFlagsOffset = 15;
constexpr std::size_t kFixedOffsetOffset = 21;
constexpr std::size_t kLengthOffset = 23;
constexpr std::uint8_t kFixedLengthFlag = 0x01;

// The definition's bytes: the first page whole, then each continuation page after its header, so
// that offsets count as if the definition were one long page.
std::vector<std::uint8_t> definition_bytes(const PageSource& pages, std::uint32_t first) {
    std::vector<std::uint8_t> bytes;
    std::set<std::uint32_t> seen;
    for (std::uint32_t number = first; number != 0;) {
        if (!seen.insert(number).second || seen.size() > kMaxDefinitionPages) {
            throw FormatError{L"the definition on page " + std::to_wstring(first) + L" runs in a loop"};
        }
        const Page page = pages.page(number);
        if (page[0] != kTableDefinitionPage) {
            throw FormatError{L"page " + std::to_wstring(number) + L" should hold a table definition"};
        }
        const Bytes content = number == first ? Bytes(page) : Bytes(page).subspan(kPageHeader);
        bytes.insert(bytes.end(), content.begin(), content.end());
        number = u32(page, kNextPageOffset);
    }
    return bytes;
}

// Column names are plain UCS-2, a byte count before each.
std::wstring ucs2(Bytes bytes) {
    if (bytes.size() % 2 != 0) {
        throw FormatError{L"a column name of an odd number of bytes"};
    }
    std::wstring text;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        text += static_cast<wchar_t>(u16(bytes, i));
    }
    return text;
}

}  // namespace

const Column* TableDefinition::find(std::wstring_view name) const {
    for (const Column& column : columns) {
        if (column.name == name) {
            return &column;
        }
    }
    return nullptr;
}

TableDefinition read_table_definition(const PageSource& pages, std::uint32_t page) {
    const std::vector<std::uint8_t> buffer = definition_bytes(pages, page);
    const Bytes bytes(buffer);
    TableDefinition definition;
    definition.page = page;
    definition.stored_rows = u32(bytes, kStoredRowsOffset);
    definition.variable_columns = u16(bytes, kVariableColumnsOffset);
    definition.used_pages = u32(bytes, kUsedPagesOffset);
    const std::uint16_t count = u16(bytes, kColumnCountOffset);
    const std::uint32_t real_indexes = u32(bytes, kRealIndexCountOffset);
    if (real_indexes > bytes.size() / kRealIndexEntry) {
        throw FormatError{L"the definition on page " + std::to_wstring(page) + L" counts more indexes than it holds"};
    }
    std::size_t offset = kBlockEnd + real_indexes * kRealIndexEntry;
    for (std::uint16_t i = 0; i < count; ++i) {
        const Bytes entry = slice(bytes, offset, kColumnEntry);
        Column column;
        column.type = entry[0];
        column.number = u16(entry, kColumnNumberOffset);
        column.var_index = u16(entry, kVarIndexOffset);
        column.fixed = (entry[kColumnFlagsOffset] & kFixedLengthFlag) != 0;
        column.fixed_offset = u16(entry, kFixedOffsetOffset);
        column.length = u16(entry, kLengthOffset);
        definition.columns.push_back(std::move(column));
        offset += kColumnEntry;
    }
    for (Column& column : definition.columns) {
        const std::uint16_t length = u16(bytes, offset);
        column.name = ucs2(slice(bytes, offset + 2, length));
        offset += 2 + static_cast<std::size_t>(length);
    }
    return definition;
}

}  // namespace jetfile

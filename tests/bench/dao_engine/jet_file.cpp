#include "jet_file.h"

#include <cstring>
#include <cwctype>

#include "data_page.h"

namespace jetfile {
namespace {

constexpr std::uint32_t kCataloguePage = 2;
constexpr std::uint32_t kIdPageMask = 0x00FFFFFF;

// MSysObjects.Flags and the Attributes DAO makes of them.
constexpr std::uint32_t kSystemFlags = 0x80000000u | 0x2u;
constexpr std::uint32_t kHiddenFlag = 0x8;
constexpr std::uint32_t kDbSystemObject = 0x80000002u;
constexpr std::uint32_t kDbHiddenObject = 0x1;
constexpr std::uint32_t kDbAttachedTable = 0x40000000u;
constexpr std::uint32_t kDbAttachedOdbc = 0x20000000u;

// A usage map: type 0 holds a first page number and a bitmap; type 1 lists pages of type 0x05, each
// a bitmap after a 4-byte header, the k-th covering the k-th stretch of pages.
constexpr std::uint8_t kInlineMap = 0;
constexpr std::uint8_t kPagedMap = 1;
constexpr std::size_t kMapPageHeader = 4;
constexpr std::uint64_t kPagesPerMapPage = (kPageSize - kMapPageHeader) * 8;

// Only a local table has pages in this file; a linked one's rows are in another database.
void check_local(const TableEntry& table) {
    if (table.type != kLocalTable) {
        throw FormatError{L"the table " + table.name + L" is linked; its rows are not in this file"};
    }
}

void check_header(const PageSource& pages) {
    if (pages.size() % kPageSize != 0) {
        throw FormatError{L"the file is not a whole number of pages"};
    }
    if (pages.page_count() <= kCataloguePage) {
        throw FormatError{L"the file is too short for a database"};
    }
    // The page signature, the engine's name, and the format: 0 is JET 3, 1 is JET 4, more is ACE.
    static constexpr std::uint8_t kSignature[] = {0x00, 0x01, 0x00, 0x00};
    static constexpr char kEngine[] = "Standard Jet DB";
    const Page header = pages.page(0);
    if (std::memcmp(header.data(), kSignature, sizeof kSignature) != 0 ||
        std::memcmp(header.data() + 4, kEngine, sizeof kEngine) != 0) {
        throw FormatError{L"the file is not a JET database"};
    }
    if (header[0x14] != 1) {
        throw FormatError{L"the file is not of JET 4's format (version " + std::to_wstring(header[0x14]) + L")"};
    }
}

const Column& catalogue_column(const TableDefinition& catalogue, const wchar_t* name, std::uint8_t type) {
    const Column* column = catalogue.find(name);
    if (column == nullptr || column->type != type) {
        throw FormatError{std::wstring(L"the catalogue has no column ") + name + L" of its type"};
    }
    return *column;
}

std::int32_t fixed_number(const Row& row, const Column& column) {
    const auto value = row.value(column);
    if (!value) {
        return 0;
    }
    return column.type == kIntegerColumn ? static_cast<std::int16_t>(u16(*value, 0))
                                         : static_cast<std::int32_t>(u32(*value, 0));
}

bool starts_with_nocase(const std::wstring& text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && names_equal(std::wstring_view(text).substr(0, prefix.size()), prefix);
}

}  // namespace

bool names_equal(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(static_cast<wint_t>(a[i])) != std::towupper(static_cast<wint_t>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::int32_t dao_attributes(const TableEntry& table) {
    std::uint32_t attributes = 0;
    if ((table.flags & kSystemFlags) != 0) {
        attributes = kDbSystemObject;
    } else if ((table.flags & kHiddenFlag) != 0) {
        attributes = kDbHiddenObject;
    }
    if (table.type == kLinkedTable) {
        attributes |= kDbAttachedTable;
    } else if (table.type == kLinkedOdbcTable) {
        attributes |= kDbAttachedOdbc;
    }
    return static_cast<std::int32_t>(attributes);
}

bool is_user_table(const TableEntry& table) {
    return table.type == kLocalTable && dao_attributes(table) == 0 && !starts_with_nocase(table.name, L"MSys") &&
           !starts_with_nocase(table.name, L"~");
}

JetFile::JetFile(const PageSource& pages) : pages_(pages) {
    check_header(pages_);
    catalogue_ = read_table_definition(pages_, kCataloguePage);
    read_catalogue();
}

template <class Visit>
void JetFile::for_each_data_page(std::uint32_t owner, std::uint32_t used_pages, Visit visit) const {
    for (const std::uint32_t number : mapped_pages(owner, used_pages)) {
        const Page page = pages_.page(number);
        if (page[0] == kDataPage && u32(page, 4) == owner) {
            visit(number, page);
        }
    }
}

void JetFile::read_catalogue() {
    const Column& id = catalogue_column(catalogue_, L"Id", kLongColumn);
    const Column& name = catalogue_column(catalogue_, L"Name", kTextColumn);
    const Column& type = catalogue_column(catalogue_, L"Type", kIntegerColumn);
    const Column& flags = catalogue_column(catalogue_, L"Flags", kLongColumn);
    if (!id.fixed || id.length != 4 || !type.fixed || type.length != 2 || !flags.fixed || flags.length != 4 ||
        name.fixed) {
        throw FormatError{L"the catalogue's columns are not laid out as JET 4 lays them out"};
    }
    for_each_data_page(kCataloguePage, catalogue_.used_pages, [&](std::uint32_t number, const Page& page) {
        const DataPage data(page);
        for (std::uint16_t slot = 0; slot < data.slot_count(); ++slot) {
            if (!data.live(slot)) {
                continue;
            }
            // A catalogue row that moved leaves a pointer: row number in the low byte, page above.
            Page moved{};
            Bytes bytes = data.row(slot);
            if ((data.slot(slot) & kOverflowRow) != 0) {
                const std::uint32_t pointer = u32(bytes, 0);
                moved = pages_.page(pointer >> 8);
                bytes = DataPage(moved).row(static_cast<std::uint16_t>(pointer & 0xFF));
            }
            const Row row(bytes, catalogue_);
            TableEntry entry;
            entry.type = static_cast<std::int16_t>(fixed_number(row, type));
            if (entry.type != kLocalTable && entry.type != kLinkedTable && entry.type != kLinkedOdbcTable) {
                continue;
            }
            const auto text = row.value(name);
            if (!text) {
                throw FormatError{L"a table without a name in the catalogue"};
            }
            entry.name = decode_text(*text);
            entry.flags = static_cast<std::uint32_t>(fixed_number(row, flags));
            entry.catalogue_page = number;
            entry.catalogue_slot = slot;
            if (entry.type == kLocalTable) {
                entry.definition_page = static_cast<std::uint32_t>(fixed_number(row, id)) & kIdPageMask;
            }
            tables_.push_back(std::move(entry));
        }
    });
    bool lists_itself = false;
    for (TableEntry& entry : tables_) {
        if (entry.type != kLocalTable) {
            continue;
        }
        const TableDefinition definition = read_table_definition(pages_, entry.definition_page);
        entry.stored_rows = definition.stored_rows;
        entry.used_pages = definition.used_pages;
        static_cast<void>(mapped_pages(definition.page, definition.used_pages));
        lists_itself = lists_itself || (entry.definition_page == kCataloguePage && entry.name == L"MSysObjects");
    }
    if (!lists_itself) {
        throw FormatError{L"the catalogue does not list itself"};
    }
}

// The pages a table's map says it owns; they must exist, a file cut short loses them.
std::vector<std::uint32_t> JetFile::mapped_pages(std::uint32_t owner, std::uint32_t used_pages) const {
    const std::uint32_t count = pages_.page_count();
    const Page holder = pages_.page(used_pages >> 8);
    const Bytes map = DataPage(holder).row(static_cast<std::uint16_t>(used_pages & 0xFF));
    std::vector<std::uint32_t> numbers;
    const auto add_bits = [&](Bytes bitmap, std::uint64_t first) {
        for (std::size_t bit = 0; bit < bitmap.size() * 8; ++bit) {
            if ((bitmap[bit / 8] >> (bit % 8) & 1) == 0) {
                continue;
            }
            if (first + bit >= count) {
                throw FormatError{L"the table on page " + std::to_wstring(owner) +
                                  L" owns pages past the end of the file"};
            }
            numbers.push_back(static_cast<std::uint32_t>(first + bit));
        }
    };
    const std::uint8_t type = u8(map, 0);
    if (type == kInlineMap) {
        const std::uint32_t first = u32(map, 1);
        add_bits(slice(map, 5, map.size() - 5), first);
    } else if (type == kPagedMap) {
        for (std::size_t k = 0; 1 + 4 * k + 4 <= map.size(); ++k) {
            const std::uint32_t number = u32(map, 1 + 4 * k);
            if (number == 0) {
                continue;
            }
            const Page bitmap = pages_.page(number);
            if (bitmap[0] != kUsageMapPage) {
                throw FormatError{L"page " + std::to_wstring(number) + L" should hold a page map"};
            }
            add_bits(Bytes(bitmap).subspan(kMapPageHeader), k * kPagesPerMapPage);
        }
    } else {
        throw FormatError{L"a page map of unknown type " + std::to_wstring(type)};
    }
    return numbers;
}

std::vector<std::uint32_t> JetFile::data_pages(const TableEntry& table) const {
    check_local(table);
    std::vector<std::uint32_t> numbers;
    for_each_data_page(table.definition_page, table.used_pages,
                       [&](std::uint32_t number, const Page&) { numbers.push_back(number); });
    return numbers;
}

std::uint32_t JetFile::live_rows(const TableEntry& table) const {
    check_local(table);
    std::uint32_t rows = 0;
    for_each_data_page(table.definition_page, table.used_pages, [&](std::uint32_t, const Page& page) {
        const DataPage data(page);
        for (std::uint16_t slot = 0; slot < data.slot_count(); ++slot) {
            if (data.live(slot)) {
                static_cast<void>(data.row(slot));  // its bounds must hold
                ++rows;
            }
        }
    });
    return rows;
}

}  // namespace jetfile

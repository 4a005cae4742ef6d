#include "derived_copy.h"

#include "data_page.h"
#include "jet_file.h"

namespace jetfile {
namespace {

constexpr std::uint32_t kCataloguePage = 2;
constexpr wchar_t kCompactErrors[] = L"MSysCompactError";

// The page as the copy will have it: already patched, or the source's.
Page& patched(PagePatches& patches, const PageSource& source, std::uint32_t number) {
    const auto found = patches.find(number);
    if (found != patches.end()) {
        return found->second;
    }
    return patches.emplace(number, source.page(number)).first->second;
}

void flag_deleted(PagePatches& patches, const PageSource& source, std::uint32_t page, std::uint16_t slot) {
    Page& data = patched(patches, source, page);
    const std::size_t position = DataPage::slot_position(slot);
    put_u16(data, position, static_cast<std::uint16_t>(u16(data, position) | kDeletedRow));
}

void add_stored_rows(PagePatches& patches, const PageSource& source, std::uint32_t definition, int change) {
    Page& page = patched(patches, source, definition);
    const std::uint32_t stored = u32(page, kStoredRowsOffset);
    if (change < 0 && stored == 0) {
        return;  // a stale count of nothing stays nothing
    }
    put_u32(page, kStoredRowsOffset, static_cast<std::uint32_t>(static_cast<std::int64_t>(stored) + change));
}

// The last live row of the first user table that has one, as it stands on its page.
PagePatches lose_row(const PageSource& source, const JetFile& file) {
    for (const TableEntry& table : file.tables()) {
        if (!is_user_table(table)) {
            continue;
        }
        const auto pages = file.data_pages(table);
        for (auto number = pages.rbegin(); number != pages.rend(); ++number) {
            const Page page = source.page(*number);
            const DataPage data(page);
            for (std::uint16_t slot = data.slot_count(); slot-- > 0;) {
                // A moved row's pointer is left alone: the row it points to would stay behind.
                if (data.live(slot) && (data.slot(slot) & kOverflowRow) == 0) {
                    PagePatches patches;
                    flag_deleted(patches, source, *number, slot);
                    add_stored_rows(patches, source, table.definition_page, -1);
                    return patches;
                }
            }
        }
    }
    throw CannotDerive{L"no user table has a row to leave out"};
}

PagePatches lose_table(const PageSource& source, const JetFile& file) {
    for (const TableEntry& table : file.tables()) {
        if (is_user_table(table)) {
            PagePatches patches;
            flag_deleted(patches, source, table.catalogue_page, table.catalogue_slot);
            add_stored_rows(patches, source, kCataloguePage, -1);
            return patches;
        }
    }
    throw CannotDerive{L"the database has no user table to leave out"};
}

PagePatches compact_error(const PageSource& source, const JetFile& file) {
    // The rows it shows are a table's with rows, a user table's where there is one.
    const auto rank = [](const TableEntry& table) {
        return (table.stored_rows > 0 ? 2 : 0) + (is_user_table(table) ? 1 : 0);
    };
    const TableEntry* model = nullptr;
    for (const TableEntry& table : file.tables()) {
        if (names_equal(table.name, kCompactErrors)) {
            throw CannotDerive{L"the database has a table MSysCompactError already"};
        }
        const bool usable = table.type == kLocalTable && table.definition_page != kCataloguePage;
        if (usable && (model == nullptr || rank(table) > rank(*model))) {
            model = &table;
        }
    }
    const Column* name = file.catalogue().find(L"Name");
    if (model == nullptr || name == nullptr) {
        throw CannotDerive{L"the database has no table whose rows MSysCompactError could show"};
    }
    const Page holder = source.page(model->catalogue_page);
    const Row row(DataPage(holder).row(model->catalogue_slot), file.catalogue());
    const std::vector<std::uint8_t> added = row.with_value(*name, encode_text(kCompactErrors));
    // Into the first catalogue page with room, the model's own first.
    std::vector<std::uint32_t> candidates{model->catalogue_page};
    for (const TableEntry& table : file.tables()) {
        candidates.push_back(table.catalogue_page);
    }
    for (const std::uint32_t number : candidates) {
        Page page = source.page(number);
        if (insert_row(page, added)) {
            PagePatches patches;
            patches.emplace(number, page);
            add_stored_rows(patches, source, kCataloguePage, +1);
            return patches;
        }
    }
    throw CannotDerive{L"no catalogue page has room for one more row"};
}

// Only a definition page's type and constant are mended: what a repair can know without the lost bytes.
PagePatches repair(const PageSource& source) {
    Page page = source.page(kCataloguePage);
    if (page[0] == kTableDefinitionPage && page[1] == 0x01) {
        return {};
    }
    page[0] = kTableDefinitionPage;
    page[1] = 0x01;
    PagePatches patches;
    patches.emplace(kCataloguePage, page);
    return patches;
}

}  // namespace

std::optional<Derivation> parse_derivation(std::wstring_view text) {
    if (text == L"lose-row") return Derivation::LoseRow;
    if (text == L"lose-table") return Derivation::LoseTable;
    if (text == L"compact-error") return Derivation::CompactError;
    if (text == L"repair") return Derivation::Repair;
    return std::nullopt;
}

PagePatches derive(const PageSource& source, Derivation what) {
    PagePatches patches;
    if (what == Derivation::Repair) {
        patches = repair(source);
    } else {
        const JetFile file(source);
        switch (what) {
            case Derivation::LoseRow:
                patches = lose_row(source, file);
                break;
            case Derivation::LoseTable:
                patches = lose_table(source, file);
                break;
            case Derivation::CompactError:
                patches = compact_error(source, file);
                break;
            case Derivation::Repair:
                break;
        }
    }
    // The copy must be a database this reader opens, whatever the source was.
    const PatchedPages copy(source, patches);
    static_cast<void>(JetFile(copy));
    return patches;
}

}  // namespace jetfile

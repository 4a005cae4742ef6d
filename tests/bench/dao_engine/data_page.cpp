#include "data_page.h"

#include <algorithm>

namespace jetfile {
namespace {

constexpr std::size_t kFreeSpaceOffset = 2;
constexpr std::size_t kOwnerOffset = 4;
constexpr std::size_t kSlotCountOffset = 12;
constexpr std::size_t kSlotTableOffset = 14;
// A row is pointed to by a page number and a one-byte row number.
constexpr std::uint16_t kMaxSlots = 255;

constexpr std::uint8_t kCompressedMark[] = {0xFF, 0xFE};

FormatError bad_row(const wchar_t* what) { return FormatError{std::wstring(L"a row whose ") + what}; }

}  // namespace

DataPage::DataPage(const Page& page) : page_(page), count_(u16(page, kSlotCountOffset)) {
    if (page[0] != kDataPage) {
        throw FormatError{L"a page of type " + std::to_wstring(page[0]) + L" where a data page should be"};
    }
    if (slot_position(count_) > kPageSize) {
        throw FormatError{L"a data page whose slot table does not fit in it"};
    }
}

std::uint32_t DataPage::owner() const { return u32(page_, kOwnerOffset); }

std::uint16_t DataPage::slot(std::uint16_t index) const { return u16(page_, slot_position(index)); }

std::size_t DataPage::slot_position(std::uint16_t index) { return kSlotTableOffset + 2 * std::size_t{index}; }

Bytes DataPage::row(std::uint16_t index) const {
    const std::size_t start = slot(index) & kRowOffsetMask;
    const std::size_t end = index == 0 ? kPageSize : slot(index - 1) & kRowOffsetMask;
    if (start < slot_position(count_) || start > end || end > kPageSize) {
        throw FormatError{L"a row whose offsets lie outside its page"};
    }
    return Bytes(page_).subspan(start, end - start);
}

Row::Row(Bytes bytes, const TableDefinition& definition) : bytes_(bytes) {
    columns_ = u16(bytes, 0);
    mask_length_ = (std::size_t{columns_} + 7) / 8;
    if (bytes.size() < 2 + mask_length_) {
        throw bad_row(L"null mask does not fit in it");
    }
    if (definition.variable_columns == 0) {
        return;  // a table without variable columns keeps no offset table
    }
    const std::size_t count_position = bytes.size() - mask_length_ - 2;
    const std::uint16_t variables = u16(bytes, count_position);
    if (count_position < 2 + 2 * (std::size_t{variables} + 1)) {
        throw bad_row(L"offset table does not fit in it");
    }
    const std::size_t table_start = count_position - 2 * (std::size_t{variables} + 1);
    for (std::size_t i = 0; i <= variables; ++i) {
        const std::uint16_t offset = u16(bytes, count_position - 2 - 2 * i);
        if (offset < 2 || offset > table_start || (!offsets_.empty() && offset < offsets_.back())) {
            throw bad_row(L"variable columns lie outside it");
        }
        offsets_.push_back(offset);
    }
}

bool Row::present(const Column& column) const {
    if (column.number >= columns_) {
        return false;  // the column was added after the row was written
    }
    const std::size_t mask_start = bytes_.size() - mask_length_;
    return (bytes_[mask_start + column.number / 8] >> (column.number % 8) & 1) != 0;
}

std::optional<Bytes> Row::value(const Column& column) const {
    if (!present(column)) {
        return std::nullopt;
    }
    if (column.fixed) {
        return slice(bytes_, 2 + std::size_t{column.fixed_offset}, column.length);
    }
    if (column.var_index + std::size_t{1} >= offsets_.size()) {
        return std::nullopt;
    }
    const std::size_t start = offsets_[column.var_index];
    return bytes_.subspan(start, offsets_[column.var_index + 1] - start);
}

std::vector<std::uint8_t> Row::with_value(const Column& column, Bytes value) const {
    if (column.fixed || !this->value(column)) {
        throw bad_row(L"column to replace is not a variable one with a value");
    }
    std::vector<std::uint8_t> row(bytes_.begin(), bytes_.begin() + offsets_.front());
    std::vector<std::uint16_t> offsets;
    for (std::size_t i = 0; i + 1 < offsets_.size(); ++i) {
        offsets.push_back(static_cast<std::uint16_t>(row.size()));
        const Bytes old = bytes_.subspan(offsets_[i], offsets_[i + 1] - offsets_[i]);
        const Bytes data = i == column.var_index ? value : old;
        row.insert(row.end(), data.begin(), data.end());
    }
    offsets.push_back(static_cast<std::uint16_t>(row.size()));
    // The offset table runs backwards from the column count, the end of the data farthest from it.
    for (auto offset = offsets.rbegin(); offset != offsets.rend(); ++offset) {
        row.push_back(static_cast<std::uint8_t>(*offset & 0xFF));
        row.push_back(static_cast<std::uint8_t>(*offset >> 8));
    }
    const Bytes tail = bytes_.last(mask_length_ + 2);  // the variable column count and the null mask
    row.insert(row.end(), tail.begin(), tail.end());
    if (row.size() > kPageSize) {
        throw bad_row(L"new value makes it too long for a page");
    }
    return row;
}

std::wstring decode_text(Bytes bytes) {
    std::wstring text;
    if (bytes.size() >= 2 && bytes[0] == kCompressedMark[0] && bytes[1] == kCompressedMark[1]) {
        bool compressed = true;
        for (std::size_t i = 2; i < bytes.size();) {
            if (bytes[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                text += static_cast<wchar_t>(bytes[i++]);
            } else {
                text += static_cast<wchar_t>(u16(bytes, i));
                i += 2;
            }
        }
        return text;
    }
    if (bytes.size() % 2 != 0) {
        throw FormatError{L"a text of an odd number of bytes"};
    }
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        text += static_cast<wchar_t>(u16(bytes, i));
    }
    return text;
}

std::vector<std::uint8_t> encode_text(std::wstring_view text) {
    const bool one_byte = std::all_of(text.begin(), text.end(), [](wchar_t c) { return c > 0 && c <= 0xFF; });
    std::vector<std::uint8_t> bytes;
    if (one_byte && text.size() > 2) {
        bytes.assign(std::begin(kCompressedMark), std::end(kCompressedMark));
        for (const wchar_t c : text) {
            bytes.push_back(static_cast<std::uint8_t>(c));
        }
        return bytes;
    }
    for (const wchar_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8 & 0xFF));
    }
    return bytes;
}

bool insert_row(Page& page, Bytes row) {
    const DataPage data(page);
    const std::uint16_t count = data.slot_count();
    if (count >= kMaxSlots) {
        return false;
    }
    // The new row ends where the last slot's starts; that must be the lowest row, or it would
    // overlap another.
    std::size_t lowest = kPageSize;
    for (std::uint16_t i = 0; i < count; ++i) {
        lowest = std::min<std::size_t>(lowest, data.slot(i) & kRowOffsetMask);
    }
    const std::size_t end = count == 0 ? kPageSize : data.slot(count - 1) & kRowOffsetMask;
    const std::size_t free = u16(page, kFreeSpaceOffset);
    if (end != lowest || row.size() + 2 > free || end < row.size() ||
        end - row.size() < DataPage::slot_position(count + 1)) {
        return false;
    }
    const std::size_t start = end - row.size();
    std::copy(row.begin(), row.end(), page.begin() + static_cast<std::ptrdiff_t>(start));
    put_u16(page, DataPage::slot_position(count), static_cast<std::uint16_t>(start));
    put_u16(page, kSlotCountOffset, static_cast<std::uint16_t>(count + 1));
    put_u16(page, kFreeSpaceOffset, static_cast<std::uint16_t>(free - row.size() - 2));
    return true;
}

}  // namespace jetfile

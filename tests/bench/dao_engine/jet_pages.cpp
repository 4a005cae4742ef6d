#include "jet_pages.h"

#include <algorithm>
#include <cstring>

namespace jetfile {

Bytes slice(Bytes bytes, std::size_t offset, std::size_t length) {
    if (offset > bytes.size() || length > bytes.size() - offset) {
        throw FormatError{L"a field reaches past the end of its structure"};
    }
    return bytes.subspan(offset, length);
}

std::uint8_t u8(Bytes bytes, std::size_t offset) { return slice(bytes, offset, 1)[0]; }

std::uint16_t u16(Bytes bytes, std::size_t offset) {
    const Bytes field = slice(bytes, offset, 2);
    return static_cast<std::uint16_t>(field[0] | field[1] << 8);
}

std::uint32_t u32(Bytes bytes, std::size_t offset) {
    const Bytes field = slice(bytes, offset, 4);
    return static_cast<std::uint32_t>(field[0]) | static_cast<std::uint32_t>(field[1]) << 8 |
           static_cast<std::uint32_t>(field[2]) << 16 | static_cast<std::uint32_t>(field[3]) << 24;
}

void put_u16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
    slice(bytes, offset, 2);
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put_u32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
    slice(bytes, offset, 4);
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i) & 0xFF);
    }
}

std::uint32_t PageSource::page_count() const {
    const std::uint64_t pages = size() / kPageSize;
    // JET 4 numbers pages with 32 bits; anything beyond cannot be referred to.
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(pages, 0xFFFFFFFFu));
}

Page PageSource::page(std::uint32_t number) const {
    if (number >= page_count()) {
        throw FormatError{L"a reference to page " + std::to_wstring(number) + L", past the end of the file"};
    }
    Page page{};
    read(static_cast<std::uint64_t>(number) * kPageSize, page);
    return page;
}

void PageSource::read_pages(std::uint32_t first, std::span<std::uint8_t> into) const {
    const std::uint64_t wanted = into.size() / kPageSize;
    const std::uint64_t left = first < page_count() ? page_count() - first : 0;
    const auto length = static_cast<std::size_t>(std::min(wanted, left) * kPageSize);
    read(static_cast<std::uint64_t>(first) * kPageSize, into.first(length));
}

void PatchedPages::read(std::uint64_t offset, std::span<std::uint8_t> into) const {
    base_.read(offset, into);
    apply_patches(patches_, offset, into);
}

void apply_patches(const PagePatches& patches, std::uint64_t offset, std::span<std::uint8_t> buffer) {
    const std::uint64_t end = offset + buffer.size();
    for (const auto& [number, page] : patches) {
        const std::uint64_t start = static_cast<std::uint64_t>(number) * kPageSize;
        const std::uint64_t from = std::max(start, offset);
        const std::uint64_t to = std::min(start + kPageSize, end);
        if (from < to) {
            std::memcpy(buffer.data() + (from - offset), page.data() + (from - start),
                        static_cast<std::size_t>(to - from));
        }
    }
}

}  // namespace jetfile

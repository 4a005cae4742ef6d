// A JET 4 database as its pages: the page size, the page types, little-endian fields read with
// their bounds checked, and the source the pages are read from. Portable: no Windows type here,
// so that the reader can be run against any bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace jetfile {

inline constexpr std::uint32_t kPageSize = 4096;

// The first byte of every page.
enum PageType : std::uint8_t {
    kDatabasePage = 0x00,
    kDataPage = 0x01,
    kTableDefinitionPage = 0x02,
    kUsageMapPage = 0x05,
};

using Page = std::array<std::uint8_t, kPageSize>;
using Bytes = std::span<const std::uint8_t>;

// Pages to write in place of a file's own, by page number.
using PagePatches = std::map<std::uint32_t, Page>;

// The file is not a JET 4 database, or one whose structures do not hold together.
struct FormatError {
    std::wstring reason;
};

// The file could not be read; the system's error code.
struct ReadError {
    std::uint32_t code;
};

// Fields at an offset into bytes; an offset past the end is a damaged structure, never a read
// outside the buffer.
Bytes slice(Bytes bytes, std::size_t offset, std::size_t length);
std::uint8_t u8(Bytes bytes, std::size_t offset);
std::uint16_t u16(Bytes bytes, std::size_t offset);
std::uint32_t u32(Bytes bytes, std::size_t offset);
void put_u16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);
void put_u32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);

// Where the pages come from: a file, or a file with some pages replaced.
class PageSource {
public:
    virtual ~PageSource() = default;
    // The file's size in bytes.
    [[nodiscard]] virtual std::uint64_t size() const = 0;
    // Fills `into` from `offset` on; throws ReadError. Never asked for bytes past the end.
    virtual void read(std::uint64_t offset, std::span<std::uint8_t> into) const = 0;

    // Whole pages only: a last page cut short is not counted.
    [[nodiscard]] std::uint32_t page_count() const;
    // One page; a number past the end is a damaged reference.
    [[nodiscard]] Page page(std::uint32_t number) const;
    // Consecutive pages from `first` into `into` (a multiple of the page size), as many as fit.
    void read_pages(std::uint32_t first, std::span<std::uint8_t> into) const;
};

// A source seen with some of its pages replaced, as a copy written with those pages would read.
class PatchedPages final : public PageSource {
public:
    PatchedPages(const PageSource& base, const PagePatches& patches) : base_(base), patches_(patches) {}
    [[nodiscard]] std::uint64_t size() const override { return base_.size(); }
    void read(std::uint64_t offset, std::span<std::uint8_t> into) const override;

private:
    const PageSource& base_;
    const PagePatches& patches_;
};

// Writes the patched pages that fall into a buffer read from `offset` on.
void apply_patches(const PagePatches& patches, std::uint64_t offset, std::span<std::uint8_t> buffer);

}  // namespace jetfile

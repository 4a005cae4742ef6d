// The pages of a database file open through a Windows handle, read at their offsets so that the
// handle's position is nobody's concern.
#pragma once

#include <windows.h>

#include <cstdint>

#include "jet_pages.h"

namespace jetfile {

class FilePages final : public PageSource {
public:
    // The handle stays the caller's and must outlive this object.
    FilePages(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
    [[nodiscard]] std::uint64_t size() const override { return size_; }
    void read(std::uint64_t offset, std::span<std::uint8_t> into) const override;

private:
    HANDLE file_;
    std::uint64_t size_;
};

}  // namespace jetfile

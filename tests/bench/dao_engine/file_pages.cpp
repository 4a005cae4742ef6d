#include "file_pages.h"

namespace jetfile {

void FilePages::read(std::uint64_t offset, std::span<std::uint8_t> into) const {
    std::size_t done = 0;
    while (done < into.size()) {
        const std::uint64_t at = offset + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        const auto want = static_cast<DWORD>(into.size() - done);
        if (!ReadFile(file_, into.data() + done, want, &got, &position)) {
            throw ReadError{GetLastError()};
        }
        if (got == 0) {
            throw ReadError{ERROR_HANDLE_EOF};  // the file shrank under us
        }
        done += got;
    }
}

}  // namespace jetfile

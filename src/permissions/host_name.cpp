#include <algorithm>
#include <limits>
#include <vector>

#include "app/frmCompactAndRepair.h"

namespace car {
namespace {

// The host name is the first field of the network parameters record: 132
// bytes of ANSI text, ended and padded by NULs.
constexpr std::size_t kHostNameFieldBytes = 132;

}  // namespace

std::wstring frmCompactAndRepair::GetHostName() {
    std::uint32_t length = 0;
    platform_.getNetworkParams(nullptr, length);  // only the size it asks for matters
    // The length is a signed 32-bit number where the record is described; a
    // "negative" size is as unusable as none.
    if (length == 0 || length > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) return {};

    std::vector<std::uint8_t> buffer(length);
    if (platform_.getNetworkParams(buffer.data(), length) != 0) return {};

    const std::size_t fieldBytes = std::min(kHostNameFieldBytes, buffer.size());
    return TrimAtNul(platform_.fromAnsiCodePage(buffer.data(), fieldBytes));
}

std::wstring frmCompactAndRepair::TrimAtNul(const std::wstring& text) {
    const std::size_t nul = text.find(L'\0');
    return nul == std::wstring::npos ? text : text.substr(0, nul);
}

}  // namespace car

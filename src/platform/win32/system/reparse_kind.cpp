#include "platform/win32/system/reparse_kind.h"

#include <winioctl.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <string_view>
#include <vector>

namespace car::win32 {
namespace {

// The reparse data's header and, for a mount point, where its names lie:
// ReparseTag, ReparseDataLength, Reserved, then SubstituteNameOffset and
// SubstituteNameLength (bytes, from the start of the names, 8 bytes on).
constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kMountPointNamesAt = kHeaderBytes + 8;

bool startsWithNoCase(std::wstring_view text, std::wstring_view start) {
    if (text.size() < start.size()) return false;
    for (std::size_t i = 0; i < start.size(); ++i) {
        if (std::towlower(static_cast<std::wint_t>(text[i])) != std::towlower(static_cast<std::wint_t>(start[i])))
            return false;
    }
    return true;
}

// A mount point whose target is a volume's root ("\??\Volume{GUID}\") is a
// volume mounted in a folder; any other target is a junction.
ReparseKind mountPointKind(const std::vector<std::uint8_t>& data, DWORD size) {
    if (size < kMountPointNamesAt) return ReparseKind::Junction;
    std::uint16_t offset = 0, length = 0;
    std::memcpy(&offset, data.data() + kHeaderBytes, sizeof offset);
    std::memcpy(&length, data.data() + kHeaderBytes + 2, sizeof length);
    if (kMountPointNamesAt + offset + length > size) return ReparseKind::Junction;
    std::wstring target(length / sizeof(wchar_t), L'\0');
    std::memcpy(target.data(), data.data() + kMountPointNamesAt + offset, target.size() * sizeof(wchar_t));
    return startsWithNoCase(target, L"\\??\\Volume{") ? ReparseKind::VolumeMountPoint : ReparseKind::Junction;
}

// The kind a reparse tag alone tells, for any tag but a mount point's.
ReparseKind reparseKindOfTag(DWORD tag) {
    switch (tag) {
        case IO_REPARSE_TAG_MOUNT_POINT:
            return ReparseKind::Junction;
        case IO_REPARSE_TAG_SYMLINK:
            return ReparseKind::SymbolicLink;
        default:
            return ReparseKind::Other;
    }
}

}  // namespace

ReparseKind reparseKindOf(HANDLE handle, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return ReparseKind::None;
    std::vector<std::uint8_t> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD size = 0;
    if (!::DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(), static_cast<DWORD>(data.size()),
                           &size, nullptr) ||
        size < kHeaderBytes) {
        return ReparseKind::Other;
    }
    DWORD tag = 0;
    std::memcpy(&tag, data.data(), sizeof tag);
    return tag == IO_REPARSE_TAG_MOUNT_POINT ? mountPointKind(data, size) : reparseKindOfTag(tag);
}

}  // namespace car::win32

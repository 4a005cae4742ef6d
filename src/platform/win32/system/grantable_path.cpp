// What a held file or folder tells through its handle: its facts and, for a
// folder, its entries. A listing read through the handle is the listing of
// the very folder held, whatever its name points at meanwhile.
#include "platform/win32/system/grantable_path.h"

#include <array>

#include "platform/win32/error_text.h"

namespace car::win32 {

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE handle, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) throwLastErrorAbout(path);
    return info;
}

std::vector<ListedEntry> listThrough(HANDLE handle, const std::wstring& path) {
    // Whole records, 8-byte aligned as their file ids need; the first call
    // starts the listing from its beginning, even on a handle listed before.
    std::array<std::uint64_t, 8192> buffer{};
    std::vector<ListedEntry> entries;
    for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
        if (!::GetFileInformationByHandleEx(handle, kind, buffer.data(), sizeof buffer)) {
            if (::GetLastError() == ERROR_NO_MORE_FILES) return entries;
            throwLastErrorAbout(path);
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.data());
        for (std::size_t offset = 0;;) {
            const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
            std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                ListedEntry entry;
                entry.name = std::move(name);
                entry.fileId = static_cast<std::uint64_t>(record->FileId.QuadPart);
                entry.isFolder = (record->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                entry.reparsePoint = (record->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                entries.push_back(std::move(entry));
            }
            if (record->NextEntryOffset == 0) break;
            offset += record->NextEntryOffset;
        }
    }
}

}  // namespace car::win32

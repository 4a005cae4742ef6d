// The reparse points in a folder's tree. A reparse point is recorded and
// never entered, so that a junction or a link can neither lead the walk out
// of the tree nor round in a circle.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/reparse_kind.h"
#include "platform/win32/system/win32_platform.h"

namespace car {
namespace {

struct FindCloser {
    void operator()(HANDLE find) const noexcept { ::FindClose(find); }
};

// A deep tree's names may be longer than the system takes in the usual
// form; the extended form is taken as it is.
std::wstring reachable(const std::wstring& path) {
    if (path.size() < MAX_PATH - 2 || path.starts_with(L"\\\\?\\")) return path;
    if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

// The listing carries each reparse point's tag; only a mount point's target
// tells a volume mounted in a folder from a junction, so only a mount point
// is opened (itself) to read it.
ReparseKind kindOf(const std::wstring& path, const WIN32_FIND_DATAW& entry) {
    if (entry.dwReserved0 != IO_REPARSE_TAG_MOUNT_POINT) return win32::reparseKindOfTag(entry.dwReserved0);
    const win32::UniqueHandle handle(::CreateFileW(
        reachable(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // A mount point whose target cannot be read is not known to be a volume.
    const ReparseKind kind =
        handle ? win32::reparseKindOf(handle.get(), FILE_ATTRIBUTE_REPARSE_POINT) : ReparseKind::Junction;
    return kind == ReparseKind::Other ? ReparseKind::Junction : kind;
}

}  // namespace

std::vector<ReparsePointFound> Win32Platform::reparsePointsUnder(const std::wstring& folder) {
    std::wstring top = folder;
    while (!top.empty() && (top.back() == L'\\' || top.back() == L'/')) top.pop_back();
    std::vector<ReparsePointFound> found;
    std::vector<std::wstring> pending{top};
    while (!pending.empty()) {
        const std::wstring current = std::move(pending.back());
        pending.pop_back();
        WIN32_FIND_DATAW entry{};
        const std::unique_ptr<void, FindCloser> find(::FindFirstFileExW((reachable(current + L"\\*")).c_str(),
                                                                        FindExInfoBasic, &entry, FindExSearchNameMatch,
                                                                        nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (find.get() == INVALID_HANDLE_VALUE) win32::throwLastErrorAbout(current.empty() ? folder : current);
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = current + L"\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                found.push_back({path, kindOf(path, entry)});
            } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                pending.push_back(path);
            }
        } while (::FindNextFileW(find.get(), &entry));
        if (::GetLastError() != ERROR_NO_MORE_FILES) win32::throwLastErrorAbout(current);
    }
    return found;
}

}  // namespace car

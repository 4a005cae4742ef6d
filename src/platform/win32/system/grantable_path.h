// A file or folder held by handle, whose access list the program changes and
// whose listing it reads through that handle, never again by name: what
// holdFolder, openInTree and holdFile hand out alike.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/reparse_kind.h"

namespace car::win32 {

// What the handle's file is now; throws with the path when it cannot be read.
BY_HANDLE_FILE_INFORMATION informationOf(HANDLE handle, const std::wstring& path);

// Merges one entry per SID (as text) allowing full control into the access
// list, as one change written through the handle, below which nothing else
// changes. The handle needs READ_CONTROL and WRITE_DAC.
void grantFullControlThrough(HANDLE handle, const std::wstring& path, const std::vector<std::wstring>& sids,
                             bool inherited);

// A folder's entries, "." and ".." aside. The handle needs FILE_LIST_DIRECTORY.
std::vector<ListedEntry> listThrough(HANDLE handle, const std::wstring& path);

template <class Interface>
class HandlePath : public Interface {
public:
    HandlePath(UniqueHandle handle, std::wstring path) : handle_(std::move(handle)), path_(std::move(path)) {
        const BY_HANDLE_FILE_INFORMATION info = informationOf(handle_.get(), path_);
        folder_ = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        kind_ = reparseKindOf(handle_.get(), info.dwFileAttributes);
        volume_ = info.dwVolumeSerialNumber;
        fileId_ = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    }

    ReparseKind reparseKind() const override { return kind_; }
    // Asked each time: a name given to the file elsewhere meanwhile counts.
    std::uint32_t nameCount() const override { return informationOf(handle_.get(), path_).nNumberOfLinks; }
    bool isFolder() const override { return folder_; }
    std::uint32_t volume() const override { return volume_; }
    std::uint64_t fileId() const override { return fileId_; }

    void grantFullControl(const std::vector<std::wstring>& sids, bool inherited) override {
        grantFullControlThrough(handle_.get(), path_, sids, inherited);
    }
    std::vector<ListedEntry> list() override { return listThrough(handle_.get(), path_); }

protected:
    HANDLE handle() const noexcept { return handle_.get(); }
    // The name it has now, for what a failure says.
    const std::wstring& path() const noexcept { return path_; }
    void renamed(std::wstring to) { path_ = std::move(to); }

private:
    UniqueHandle handle_;
    std::wstring path_;
    bool folder_ = false;
    ReparseKind kind_ = ReparseKind::None;
    std::uint32_t volume_ = 0;
    std::uint64_t fileId_ = 0;
};

}  // namespace car::win32

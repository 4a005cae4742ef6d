#include "app/safeguards/tree_grant.h"

#include <memory>
#include <optional>

#include "app/safeguards/reparse_words.h"

namespace car {
namespace {

constexpr wchar_t kNotFollowed[] = L", which the grants do not follow";

// A folder being walked: its hold (none for the top, which the run holds),
// its entries as listed, and the next one to look at.
struct Frame {
    std::unique_ptr<GrantablePath> hold;
    std::wstring path;
    std::vector<ListedEntry> entries;
    std::size_t next = 0;
};

}  // namespace

void TreeGrant::Skip(const std::wstring& path, const std::wstring& why) {
    ++outcome_.skipped;
    log_.write(L"Not granted on \"" + path + L"\": " + why);
}

TreeGrant::Outcome TreeGrant::Below(GrantablePath& folder, const std::wstring& folderPath,
                                    const std::vector<std::wstring>& sids) {
    outcome_ = {};
    std::vector<Frame> frames;
    const auto enter = [&](std::unique_ptr<GrantablePath> hold, GrantablePath& listed, const std::wstring& path) {
        try {
            frames.push_back({std::move(hold), path, listed.list(), 0});
        } catch (const Error& error) {
            Skip(path + L"\\*", L"the folder's entries could not be read (" + GrantErrorWords(error) + L")");
        }
    };
    enter(nullptr, folder, folderPath);
    while (!frames.empty()) {
        Frame& frame = frames.back();
        if (frame.next == frame.entries.size()) {
            frames.pop_back();
            continue;
        }
        const ListedEntry entry = frame.entries[frame.next++];
        const std::wstring path = frame.path + L"\\" + entry.name;
        if (entry.reparsePoint) {
            Skip(path, L"it is a junction, symbolic link or mount point" + std::wstring(kNotFollowed));
            continue;
        }
        std::unique_ptr<GrantablePath> opened;
        try {
            opened = platform_.openInTree(path);
        } catch (const Error& error) {
            Skip(path, GrantErrorWords(error));
            continue;
        }
        // Checked through the handle: a name replaced since the listing (by a
        // link, or through a folder above that became one) is not followed.
        if (opened->isReparsePoint()) {
            Skip(path,
                 L"it became " + ReparseWords(opened->reparseKind()) + L" after the folder was listed" + kNotFollowed);
            continue;
        }
        if (opened->volume() != folder.volume() || opened->fileId() != entry.fileId ||
            opened->isFolder() != entry.isFolder) {
            Skip(path,
                 L"it is no longer what the folder's listing named: it was replaced while the grants went "
                 L"through the tree");
            continue;
        }
        if (const std::uint32_t names = opened->nameCount(); !entry.isFolder && names > 1) {
            Skip(path, SecondNameWords(names));
            continue;
        }
        try {
            opened->grantFullControl(sids, entry.isFolder);
            ++outcome_.changed;
        } catch (const Error& error) {
            Skip(path, GrantErrorWords(error));
        }
        if (entry.isFolder) {
            GrantablePath& listed = *opened;
            enter(std::move(opened), listed, path);
        }
    }
    return outcome_;
}

}  // namespace car

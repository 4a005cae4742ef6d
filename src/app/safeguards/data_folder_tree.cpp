#include "app/safeguards/data_folder_tree.h"

#include <vector>

#include "app/safeguards/reparse_words.h"

namespace car {

bool DataFolderTree::allowsRecursiveGrants(const std::wstring& folder) {
    warning_.clear();
    std::vector<ReparsePointFound> found;
    try {
        found = platform_.reparsePointsUnder(folder);
    } catch (const Error& error) {
        warning_ = L"The permissions of the data folder's tree were not changed: the tree of " + folder +
                   L" could not be looked at for links (" + errorSummary(error) + L").";
        log_.write(warning_);
        return false;
    }
    if (found.empty()) return true;
    for (const ReparsePointFound& point : found) {
        log_.write(L"In the data folder's tree: " + point.path + L" is " + ReparseWords(point.kind));
    }
    warning_ = L"The permissions of the data folder's tree were not changed: " + folder + L" holds " +
               std::to_wstring(found.size()) +
               (found.size() == 1 ? L" junction, symbolic link or mount point"
                                  : L" junctions, symbolic links or mount points") +
               L" (named in the run log), through which the grants would reach other folders.";
    log_.write(warning_);
    return false;
}

}  // namespace car

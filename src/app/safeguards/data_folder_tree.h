// The data folder's tree as the grants with /T would walk it. Microsoft's
// words for CACLS: "/t Changes ACLs of specified files in the current
// directory and all subdirectories", "/l Works on the Symbolic Link itself
// instead of the target", "/m Changes ACLs of volumes mounted to a directory";
// nothing says that /T stops at a junction, and without /L a symbolic link's
// target is what changes. In a tree that every user may write, one link would
// carry the users group's full control to wherever it points. So the tree is
// looked at first, without following anything, every reparse point in it is
// logged, and the grants with /T are left out when there is one.
#pragma once

#include <string>

#include "app/safeguards/run_log.h"
#include "platform/platform.h"

namespace car {

class DataFolderTree {
public:
    DataFolderTree(Platform& platform, RunLog& log) : platform_(platform), log_(log) {}

    // Whether the grants with /T may go through the folder's tree: true when
    // it holds no reparse point.
    bool allowsRecursiveGrants(const std::wstring& folder);
    // Why they were left out, for the run's final text; empty when they were not.
    const std::wstring& warning() const { return warning_; }

private:
    Platform& platform_;
    RunLog& log_;
    std::wstring warning_;
};

}  // namespace car

// The grants below the data folder, made by a walk of its tree that every
// user may change while it runs. The walk changes an entry only through a
// handle that did not follow a reparse point and that is, by the file
// system's own number, what the folder's listing named; a file must have no
// other name. A folder is held while the walk is below it, so that neither
// its name nor those inside it can change meanwhile. Whatever fails that is
// left alone and logged with why, and the walk goes on: it never changes
// anything outside the folder, whatever a user does in the tree.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/safeguards/run_log.h"
#include "platform/platform.h"

namespace car {

// A failed grant as the log says it: "error <number>, <description>".
inline std::wstring GrantErrorWords(const Error& error) {
    return L"error " + std::to_wstring(error.number) + L", " + error.description;
}

class TreeGrant {
public:
    struct Outcome {
        std::size_t changed = 0;
        std::size_t skipped = 0;
    };

    TreeGrant(Platform& platform, RunLog& log) : platform_(platform), log_(log) {}

    // Gives each account (SIDs as text) full control of everything below
    // the held folder, one change per entry.
    Outcome Below(GrantablePath& folder, const std::wstring& folderPath, const std::vector<std::wstring>& sids);

private:
    void Skip(const std::wstring& path, const std::wstring& why);

    Platform& platform_;
    RunLog& log_;
    Outcome outcome_;
};

}  // namespace car

// Where the next start learns what the last run did. The log beside the
// database is in a folder that every user may write, so a start never acts
// on it: each record is kept a second time, line for line, in a folder that
// only SYSTEM and the administrators may write, checked at every start
// through its handle. One file per database, named after its path, so that
// an administrator can find it.
#pragma once

#include <string>

#include "platform/platform.h"

namespace car {

class RunRecord {
public:
    explicit RunRecord(Platform& platform) : platform_(platform) {}

    // Takes and checks the folder, once for the program's life. When it
    // cannot be used no record is kept or read, and the first attempt gives
    // back what to tell; otherwise nothing.
    std::wstring Open();
    // The record file of a database; empty when the folder is not in use.
    std::wstring PathFor(const std::wstring& dbPath) const;
    // The database's full path in lower case, each "\", "/" and ":" made
    // "_", and ".log".
    static std::wstring FileName(const std::wstring& dbPath);
    // What to tell when the folder cannot be used; empty when it is.
    const std::wstring& problem() const { return problem_; }

private:
    Platform& platform_;
    TrustedFolder folder_;
    std::wstring problem_;
};

}  // namespace car

// Old backups kept in bounds: a monthly run leaves a backup as large as the
// database each time, and within a year the disk is full and the free-space
// check refuses every run. With "/keep:N" the oldest backups of this
// database are deleted after a run that finished, until N remain.
#pragma once

#include <string>

#include "app/safeguards/run_log.h"
#include "platform/platform.h"

namespace car {

class BackupRetention {
public:
    BackupRetention(Platform& platform, RunLog& log) : platform_(platform), log_(log) {}

    // N from 1 to 99, from "/keep:N"; false for anything else.
    bool setKeep(const std::wstring& argument);
    // Deletes the oldest backups of `dbPath` (its name, "." and 0 to 899,
    // ".tmpBackup", beside it), never `currentBackup`, until the number to
    // keep remain; each deletion, or its failure, goes to the log. Nothing
    // without "/keep".
    void trim(const std::wstring& dbPath, const std::wstring& currentBackup);

private:
    Platform& platform_;
    RunLog& log_;
    int keep_ = 0;
};

}  // namespace car

#include <algorithm>
#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/safeguards/database_swap.h"

namespace car {
namespace {

std::wstring SourceConnection(const std::wstring& dbPath) {
    return L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dbPath + L";Jet OLEDB:Database Password=";
}

std::wstring DestinationConnection(const std::wstring& compactedPath) {
    return L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + compactedPath +
           L";Jet OLEDB:Engine Type=5;Jet OLEDB:Database Password=";
}

// An exit code with the top bit set is an exception's status (0xC0000005,
// an access violation), which Windows writes in hexadecimal.
std::wstring HowItEnded(std::int32_t exitCode) {
    if (exitCode < 0) return L"exception " + hex32(exitCode);
    return L"exit code " + std::to_wstring(exitCode);
}

// How long the engine may take: ten minutes, and a second more for every
// 256 KB of the database (2 GB, the largest a JET file can be: about two and
// a half hours). The engine reads and writes each page once, at several MB a
// second even on a slow disk, so a real compaction stays far inside it; an
// engine past it is stalled (a share that stopped answering) or hung, and
// the suite must not stay down until the scheduler's own limit.
std::uint64_t EngineLimitMs(std::uint64_t databaseBytes) {
    constexpr std::uint64_t kBaseMs = 10 * 60'000;
    constexpr std::uint64_t kBytesPerSecond = 256 * 1024;
    return kBaseMs + databaseBytes / kBytesPerSecond * 1000;
}

}  // namespace

std::wstring frmCompactAndRepair::RndFileName() { return names_.Draw(); }

void frmCompactAndRepair::CompactDB(const std::wstring& dbPath) {
    anicompress();
    const std::wstring suffix = names_.Free(dbPath);
    const std::wstring compactedPath = dbPath + suffix;
    const std::unique_ptr<JetEngine> engine = platform_.createJetEngine();
    release_.Await(dbPath, lblStatus.Caption());
    check_.TakeBaseline(dbPath);
    const std::uint64_t size = platform_.pathInfo(dbPath).size;
    const std::uint64_t limitMs = EngineLimitMs(size);
    log_.write(L"Database size before: " + std::to_wstring(size));
    figures_.SizeBefore(size);
    // Named first, so that a start after a killed run can remove what is left.
    log_.write(L"Compacting into: " + compactedPath);

    try {
        engine->compactDatabase(
            SourceConnection(dbPath), DestinationConnection(compactedPath), limitMs, [this](const Error& untied) {
                log_.write(L"The JET engine's process could not be put in this program's job (" + errorSummary(untied) +
                           L"); it ends itself should this program be ended");
            });
    } catch (const EngineTimedOut& late) {
        // The database never left its name: the suite is started again in
        // any case, and the engine's unfinished work goes.
        try {
            if (platform_.pathExists(compactedPath)) platform_.deleteFile(compactedPath);
            log_.write(L"Removed the engine's unfinished copy " + compactedPath);
        } catch (const Error& error) {
            log_.write(L"The engine's unfinished copy " + compactedPath + L" could not be removed (" +
                       errorSummary(error) + L")");
        }
        ending_.StartAgainOnFailure();
        EndWithError(Error{late.number, L"The JET engine did not finish compacting " + dbPath + L" within " +
                                            std::to_wstring(limitMs / 60'000) +
                                            L" minutes and was ended. The database is unchanged."},
                     kExitCompactionFailed, L"the engine did not finish in time");
    } catch (const EngineEnded& ended) {
        // Not the engine's answer but its end, most likely on the damaged
        // database: whatever it wrote under the temporary name is unfinished
        // and never taken for the compacted copy.
        if (platform_.pathExists(compactedPath)) log_.write(L"Left unfinished by the engine: " + compactedPath);
        ending_.StartAgainOnFailure();
        EndWithError(Error{ended.number, L"The JET engine ended unexpectedly while compacting " + dbPath + L" (" +
                                             HowItEnded(ended.number) + L")."},
                     kExitCompactionFailed, L"the database could not be compacted");
    } catch (const Error& error) {
        // The engine's refusal leaves the database as it was.
        ending_.StartAgainOnFailure();
        ending_.End(kExitCompactionFailed, L"the database could not be compacted",
                    L"Could not compact and repair database. Please try and compact and repair the database using the "
                    L"Manual Method described in the FAQ\r\nError was: " +
                        std::to_wstring(error.number) + L", " + error.description);
    }

    const CompactionCheck::Verdict verdict = check_.CheckCopy(compactedPath, dbPath);
    log_.write(L"Verification: " + check_.VerdictWord());
    switch (verdict) {
        case CompactionCheck::Verdict::CopyUnreadable: {
            // Whatever the engine made of it, it is no database: it goes.
            try {
                platform_.deleteFile(compactedPath);
                log_.write(L"Removed the compacted copy " + compactedPath);
            } catch (const Error& error) {
                log_.write(L"The compacted copy " + compactedPath + L" could not be removed (" + errorSummary(error) +
                           L")");
            }
            const Error& error = check_.CopyError();
            ending_.StartAgainOnFailure();
            ending_.End(kExitCompactionFailed, L"the compacted copy could not be opened",
                        L"Could not compact and repair database. Please try and compact and repair the database using "
                        L"the Manual Method described in the FAQ\r\nError was: " +
                            std::to_wstring(error.number) + L", " + error.description);
        }
        case CompactionCheck::Verdict::LostData:
            // Only a person at the window may have such a copy take the name.
            if (!unattended_ && check_.PersonWantsTheCopy(compactedPath)) break;
            keptCopy_ = check_.KeepBeside(compactedPath);
            if (unattended_) {
                ending_.StartAgainOnFailure();
                ending_.End(kExitCopyLostData, L"the compacted copy lacked data; the database is unchanged",
                            L"The compacted copy of the database lacked data that the database holds:" +
                                check_.Losses() + L"\r\n\r\nThe database is unchanged under " + dbPath +
                                L"; the compacted copy is kept as " + keptCopy_ + L".");
            }
            return;
        default:
            break;
    }
    DatabaseSwap swap(platform_, log_, guard_, StepsOf(*this));
    bool swapped = false;
    try {
        swapped = swap.Swap(dbPath, compactedPath, dbPath + suffix + L"Backup");
    } catch (const Error&) {
        BackupPath_ = swap.BackupPath();
        // Nothing was renamed: the suite can have its database back as it was.
        if (swap.NothingRenamed()) ending_.StartAgainOnFailure();
        throw;
    }
    if (!swapped) {
        ending_.StartAgainOnFailure();
        EndWithError(Error{kAccessDeniedHr, swap.NotTheEnginesCopy()}, kExitError,
                     L"the compacted copy was not the engine's file");
    }
    BackupPath_ = swap.BackupPath();
    const std::uint64_t after = platform_.pathInfo(dbPath).size;
    log_.write(L"Database size after: " + std::to_wstring(after));
    figures_.SizeAfter(after);
    log_.write(L"Backup: " + BackupPath_);
}

}  // namespace car

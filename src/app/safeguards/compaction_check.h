// The compacted copy takes the database's name only when it holds what the
// original held. The JET engine's compaction also repairs, and on damaged
// data it may leave rows or whole tables out, noting what it skipped in a
// table MSysCompactError of the new file, or, with a damaged index, saying
// nothing at all. So the user tables and their stored row counts are read
// through DAO before the compaction (the baseline) and from the copy before
// the swap, and the two compared; a lower stored count is confirmed by
// counting the rows of both files, since a compaction may correct a stale
// count without losing anything.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/safeguards/run_log.h"
#include "platform/platform.h"

namespace car {

class CompactionCheck {
public:
    enum class Verdict {
        NotVerified,     // DAO is not there: the run goes on as without the check
        Sound,           // every table and row is in the copy
        LostData,        // a table or rows missing, or MSysCompactError, against a baseline
        Repaired,        // the original could not be read, the copy can
        CopyUnreadable,  // DAO cannot open the copy
    };

    CompactionCheck(Platform& platform, RunLog& log) : platform_(platform), log_(log) {}

    // Whether DAO's Attributes and the name make a table the user's: not a
    // system or hidden object, not linked, not MSys... or ~... .
    static bool IsUserTable(const TableFacts& table);

    // Reads the original's user tables, once the suite has let go of it.
    void TakeBaseline(const std::wstring& dbPath);
    // Compares the copy with the baseline, confirming lower counts on both files.
    Verdict CheckCopy(const std::wstring& copyPath, const std::wstring& dbPath);

    // What the copy lacks, a line for each table that lost rows (with the
    // counts before and after), each missing table and MSysCompactError's rows.
    const std::wstring& Losses() const { return losses_; }
    // The copy's user tables with their counts, for a repaired database.
    std::wstring CopyTables() const;
    // DAO's failure to open the copy.
    const Error& CopyError() const { return copyError_; }
    Verdict LastVerdict() const { return verdict_; }
    // For a copy that lacks data: asks the person at the window, in a box
    // with No the default that names what the copy lacks, whether to use it
    // all the same.
    bool PersonWantsTheCopy(const std::wstring& copyPath);
    // Renames the copy to its name beside the database, "<copy>Incomplete"
    // (never replacing a file), and gives back the name it has now.
    std::wstring KeepBeside(const std::wstring& copyPath);
    // One word for the log and the event.
    std::wstring VerdictWord() const;

private:
    static std::wstring KeptName(const std::wstring& copyPath);

    enum class Baseline { NotTaken, NoDao, Unavailable, Available };

    Platform& platform_;
    RunLog& log_;
    Baseline baseline_ = Baseline::NotTaken;
    std::map<std::wstring, std::int64_t> before_;  // user table -> stored rows
    std::vector<TableFacts> copyTables_;
    std::int64_t compactErrors_ = -1;  // rows of MSysCompactError in the copy; -1 without one
    std::wstring losses_;
    Error copyError_;
    Verdict verdict_ = Verdict::NotVerified;
};

}  // namespace car

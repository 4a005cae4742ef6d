#include "app/safeguards/compaction_check.h"

#include "app/safeguards/temp_names.h"

namespace car {
namespace {

constexpr std::int32_t kSystemObject = static_cast<std::int32_t>(0x80000002u);  // dbSystemObject
constexpr std::int32_t kHiddenObject = 1;                                       // dbHiddenObject
constexpr std::int32_t kLinked = 0x40000000 | 0x20000000;                       // dbAttachedTable, dbAttachedODBC
constexpr wchar_t kCompactErrors[] = L"msyscompacterror";

std::wstring Rows(std::int64_t count) { return std::to_wstring(count) + (count == 1 ? L" row" : L" rows"); }

}  // namespace

bool CompactionCheck::IsUserTable(const TableFacts& table) {
    const std::wstring name = lowerCase(table.name);
    return (table.attributes & kSystemObject) == 0 && (table.attributes & kHiddenObject) == 0 &&
           (table.attributes & kLinked) == 0 && !name.starts_with(L"msys") && !name.starts_with(L"~");
}

void CompactionCheck::TakeBaseline(const std::wstring& dbPath) {
    before_.clear();
    try {
        for (const TableFacts& table : platform_.daoTables(dbPath)) {
            if (IsUserTable(table)) before_[table.name] = table.rowCount;
        }
        baseline_ = Baseline::Available;
        log_.write(L"Before the compaction: " + std::to_wstring(before_.size()) + L" user tables");
        for (const auto& [name, rows] : before_) log_.write(L"Before: [" + name + L"] " + Rows(rows));
    } catch (const DaoMissing& missing) {
        baseline_ = Baseline::NoDao;
        log_.write(L"DAO 3.6 cannot be created (" + errorSummary(missing) +
                   L"): the compacted copy is not verified, as before");
    } catch (const Error& error) {
        // The damaged database a repair is for.
        baseline_ = Baseline::Unavailable;
        log_.write(L"The database's tables cannot be read before the compaction (" + errorSummary(error) +
                   L"): the compacted copy is read alone");
    }
}

CompactionCheck::Verdict CompactionCheck::CheckCopy(const std::wstring& copyPath, const std::wstring& dbPath) {
    losses_.clear();
    copyTables_.clear();
    compactErrors_ = -1;
    if (baseline_ == Baseline::NoDao || baseline_ == Baseline::NotTaken) return verdict_ = Verdict::NotVerified;
    std::vector<TableFacts> all;
    try {
        all = platform_.daoTables(copyPath);
    } catch (const Error& error) {
        copyError_ = error;
        log_.write(L"The compacted copy cannot be opened (" + errorSummary(error) + L")");
        return verdict_ = Verdict::CopyUnreadable;
    }
    std::map<std::wstring, std::int64_t> after;
    for (const TableFacts& table : all) {
        if (lowerCase(table.name) == kCompactErrors) compactErrors_ = table.rowCount;
        if (!IsUserTable(table)) continue;
        after[table.name] = table.rowCount;
        copyTables_.push_back(table);
        log_.write(L"After: [" + table.name + L"] " + Rows(table.rowCount));
    }
    if (compactErrors_ >= 0) {
        losses_ += L"\r\n- MSysCompactError: the engine noted " + Rows(compactErrors_) + L" it could not keep";
    }
    if (baseline_ == Baseline::Unavailable) {
        if (compactErrors_ >= 0) log_.write(L"The engine's notes: MSysCompactError, " + Rows(compactErrors_));
        return verdict_ = Verdict::Repaired;
    }
    for (const auto& [name, rows] : before_) {
        const auto found = after.find(name);
        if (found == after.end()) {
            losses_ += L"\r\n- the table [" + name + L"] (" + Rows(rows) + L") is missing";
            continue;
        }
        if (found->second > rows) {
            log_.write(L"[" + name + L"] holds more rows than before: " + std::to_wstring(rows) + L", now " +
                       std::to_wstring(found->second));
        }
        if (found->second >= rows) continue;
        // A stored count may have been stale: what counts is the rows.
        std::int64_t counted = 0;
        std::int64_t kept = 0;
        try {
            counted = platform_.daoCountRows(dbPath, name);
            kept = platform_.daoCountRows(copyPath, name);
        } catch (const Error& error) {
            losses_ += L"\r\n- the table [" + name + L"]: " + Rows(rows) + L" before, " +
                       std::to_wstring(found->second) + L" after, and its rows could not be counted (" +
                       errorSummary(error) + L")";
            continue;
        }
        log_.write(L"[" + name + L"] stored " + std::to_wstring(rows) + L" rows before and " +
                   std::to_wstring(found->second) + L" after; counted " + std::to_wstring(counted) + L" and " +
                   std::to_wstring(kept));
        if (kept < counted) {
            losses_ +=
                L"\r\n- the table [" + name + L"]: " + Rows(counted) + L" before, " + std::to_wstring(kept) + L" after";
        }
    }
    if (!losses_.empty()) log_.write(L"The compacted copy lacks:" + losses_);
    return verdict_ = losses_.empty() ? Verdict::Sound : Verdict::LostData;
}

std::wstring CompactionCheck::KeptName(const std::wstring& copyPath) { return copyPath + kIncompleteEnding; }

bool CompactionCheck::PersonWantsTheCopy(const std::wstring& copyPath) {
    log_.write(L"Asking whether to use the compacted copy all the same");
    // The suite is down while the box waits: nobody answering is a No.
    constexpr std::uint32_t kAnswerLimitMs = 10 * 60'000;
    const Platform::Answer answer =
        platform_.askYesNo(L"The compacted copy of the database lacks data that the database holds:" + losses_ +
                               L"\r\n\r\nUse the compacted copy all the same? With No the database "
                               L"stays as it is, and the compacted copy is kept beside it as\r\n" +
                               KeptName(copyPath) + L"\r\n\r\nWithout an answer within 10 minutes, No is taken.",
                           true, kAnswerLimitMs);
    log_.write(answer == Platform::Answer::Yes  ? L"Answer: Yes, use the compacted copy"
               : answer == Platform::Answer::No ? L"Answer: No, keep the database as it is"
                                                : L"No answer within 10 minutes: No, keep the database as it is");
    return answer == Platform::Answer::Yes;
}

std::wstring CompactionCheck::KeepBeside(const std::wstring& copyPath) {
    std::wstring kept = KeptName(copyPath);
    try {
        platform_.moveFile(copyPath, kept);
    } catch (const Error& error) {
        log_.write(L"The compacted copy could not be renamed to " + kept + L" (" + errorSummary(error) + L")");
        kept = copyPath;
    }
    log_.write(L"The database stays as it was; the compacted copy is kept as " + kept);
    return kept;
}

std::wstring CompactionCheck::CopyTables() const {
    std::wstring text;
    for (const TableFacts& table : copyTables_) text += L"\r\n- [" + table.name + L"] " + Rows(table.rowCount);
    if (compactErrors_ >= 0) text += L"\r\n- MSysCompactError: " + Rows(compactErrors_) + L" the engine could not keep";
    return text;
}

std::wstring CompactionCheck::VerdictWord() const {
    switch (verdict_) {
        case Verdict::Sound:
            return L"verified";
        case Verdict::LostData:
            return L"data lost";
        case Verdict::Repaired:
            return L"repaired";
        case Verdict::CopyUnreadable:
            return L"copy unreadable";
        case Verdict::NotVerified:
            break;
    }
    return L"not verified";
}

}  // namespace car

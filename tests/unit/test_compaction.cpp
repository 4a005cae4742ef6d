// Compacting the database into a temporary file and swapping it in, keeping
// the old file under a backup name.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

#include "harness.h"
#include "sequence.h"

namespace cartest {
namespace {

const std::wstring& kDb = kDbPath;
const std::wstring kSourcePrefix = L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
const std::wregex kSuffixForm(L"\\.(0|[1-9][0-9]{0,2})\\.tmp");

// The files as one line each, "path=content" plus "*" for a compacted copy.
std::set<std::wstring> filesOf(const FakePlatform& platform) {
    std::set<std::wstring> out;
    for (const auto& [path, file] : platform.files) {
        out.insert(path + L"=" + std::wstring(file.content.begin(), file.content.end()) +
                   (file.compacted ? L"*" : L""));
    }
    return out;
}

std::wstring suffixOf(const car::frmCompactAndRepair& form, const std::wstring& db) {
    const std::wstring& backup = form.BackupPath();
    if (!backup.starts_with(db) || !backup.ends_with(L"Backup")) return {};
    return backup.substr(db.size(), backup.size() - db.size() - 6);
}

TEST(RndFileName, DrawsEverySuffixFromZeroTo899InPlainDigits) {
    Harness h;
    std::set<int> seen;
    for (int draw = 0; draw < 50000 && seen.size() < 900; ++draw) {
        const std::wstring suffix = h.form.RndFileName();
        ASSERT_TRUE(std::regex_match(suffix, kSuffixForm)) << narrow(suffix);
        const int n = std::stoi(suffix.substr(1));
        ASSERT_LE(n, 899);
        seen.insert(n);
    }
    EXPECT_EQ(seen.size(), 900U);  // including .0.tmp and .899.tmp
}

struct Compaction : ::testing::Test {
    Harness h;
    std::vector<std::set<std::wstring>> atPumps;

    void SetUp() override {
        h.platform.files[kDb] = FakeFile{"old data", false};
        h.platform.guardedPath = kDb;
        h.platform.onPump = [this] { atPumps.push_back(filesOf(h.platform)); };
    }
    std::wstring suffix() const { return suffixOf(h.form, kDb); }
    // The compacted copy's name, as the engine was asked to write it.
    std::wstring tempName() const {
        if (h.platform.compactions.empty()) return {};
        const std::wstring& destination = h.platform.compactions[0].second;
        const auto from = destination.find(L"Data Source=") + 12;
        return destination.substr(from, destination.find(L';', from) - from);
    }
};

TEST_F(Compaction, CompactsBesideTheDatabaseAndSwapsTheFiles) {
    h.form.CompactDB(kDb);
    const std::wstring s = suffix();
    ASSERT_TRUE(std::regex_match(s, kSuffixForm)) << narrow(h.form.BackupPath());
    const std::wstring temp = kDb + s;
    const std::wstring backup = temp + L"Backup";

    // The engine's exact words; the old file gets its second name before the
    // compacted copy takes the database's.
    EXPECT_EQ(h.log.only({L"compactDatabase", L"createHardLink", L"moveFile", L"rename", L"deleteFile"}),
              (std::vector<std::wstring>{
                  L"compactDatabase " + kSourcePrefix + kDb + L";Jet OLEDB:Database Password= | " + kSourcePrefix +
                      temp + L";Jet OLEDB:Engine Type=5;Jet OLEDB:Database Password=",
                  L"createHardLink " + kDb + L" -> " + backup, L"rename " + temp + L" -> " + kDb + L" replacing"}));

    // The files as the progress steps between those calls see them; a
    // complete database stands under its name at every call.
    const std::set<std::wstring> before{kDb + L"=old data"};
    const std::set<std::wstring> compacted{kDb + L"=old data", temp + L"=old data*"};
    const std::set<std::wstring> linked{kDb + L"=old data", backup + L"=old data", temp + L"=old data*"};
    atPumps.erase(std::unique(atPumps.begin(), atPumps.end()), atPumps.end());
    EXPECT_EQ(atPumps, (std::vector<std::set<std::wstring>>{before, compacted, linked}));
    EXPECT_EQ(filesOf(h.platform), (std::set<std::wstring>{kDb + L"=old data*", backup + L"=old data"}));
    EXPECT_EQ(h.platform.guardedPathEmptyAt, std::vector<std::wstring>{});
    EXPECT_EQ(h.platform.liveJetEngines, 0);

    // Where the volume has no hard links the two renames of old stand in,
    // with the same end. Only then is the name empty: from the first rename
    // until the second, through nothing but the progress step between them.
    Harness g;
    g.platform.files[kDb] = FakeFile{"old data", false};
    g.platform.guardedPath = kDb;
    g.platform.hardLinks = false;
    g.form.CompactDB(kDb);
    const std::wstring fallbackBackup = g.form.BackupPath();
    const std::wstring putInPlace = L"rename " + fallbackBackup.substr(0, fallbackBackup.size() - 6) + L" -> " + kDb;
    EXPECT_EQ(g.log.only({L"moveFile", L"rename"}),
              (std::vector<std::wstring>{L"moveFile " + kDb + L" -> " + fallbackBackup, putInPlace}));
    EXPECT_EQ(filesOf(g.platform), (std::set<std::wstring>{kDb + L"=old data*", fallbackBackup + L"=old data"}));
    const std::vector<std::wstring>& gap = g.platform.guardedPathEmptyAt;
    ASSERT_FALSE(gap.empty());
    EXPECT_EQ(gap.back(), putInPlace);
    for (auto it = gap.begin(); it + 1 < gap.end(); ++it) {
        EXPECT_TRUE(*it == L"pump" || it->starts_with(L"sleep ")) << narrow(*it);
    }
}

// A database still held after the fixed waits is waited for in progress
// steps, saying by whom where the system can tell, for at most a minute;
// then the compaction goes ahead. Free at once, nothing shows.
TEST_F(Compaction, WaitsForTheDatabaseToBeClosedAtMostAMinute) {
    struct Case {
        int heldChecks;
        std::vector<std::wstring> holders;
        std::size_t steps;
        std::wstring firstStatus;
    };
    const std::vector<Case> cases{
        {0, {}, 0, L""},
        {3,
         {L"THService.exe (pid 10)", L"QMSSrv.exe (pid 12)"},
         3,
         L"Waiting for THService.exe (pid 10) and QMSSrv.exe (pid 12) to close the database... 0 s of at most 60 s"},
        {1000, {}, 120, L"Waiting for the database to be closed... 0 s of at most 60 s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.heldChecks);
        Harness g;
        g.platform.files[kDb] = FakeFile{"old data", false};
        g.platform.heldForChecks[kDb] = c.heldChecks;
        g.platform.holders = c.holders;
        g.form.lblStatus.setCaption(L"Compacting and repairing database...");
        g.log.clear();
        g.form.CompactDB(kDb);
        EXPECT_EQ(g.log.count(L"sleep"), 3 + c.steps);
        const auto statuses = g.log.only({L"lblStatus.Caption=", L"compactDatabase"});
        ASSERT_GE(statuses.size(), 3U);
        if (c.steps == 0) {
            EXPECT_EQ(g.log.count(L"fileHolders"), 0U);
            EXPECT_TRUE(statuses[0].starts_with(L"compactDatabase"));
            continue;
        }
        EXPECT_EQ(statuses[0], L"lblStatus.Caption=" + c.firstStatus);
        // The wait ends with the status it found, right before the compaction.
        const auto compaction = std::find_if(statuses.begin(), statuses.end(),
                                             [](const std::wstring& e) { return e.starts_with(L"compactDatabase"); });
        ASSERT_NE(compaction, statuses.begin());
        EXPECT_EQ(*(compaction - 1), L"lblStatus.Caption=Compacting and repairing database...");
    }
}

// When the compacted copy cannot take the database's name, the old database
// is still under it: only its backup name goes, whether or not that can be
// removed, and the error says where the files are.
TEST_F(Compaction, FailedReplaceLeavesTheOldDatabaseInPlace) {
    const car::Error inUse{car::hresult(0x80070020u), L"The process cannot access the file because it is being used."};
    for (const bool backupRemovable : {true, false}) {
        SCOPED_TRACE(backupRemovable ? "backup name removed" : "backup name stays");
        Harness g;
        g.platform.files[kDb] = FakeFile{"old data", false};
        g.platform.guardedPath = kDb;
        g.platform.replaceFailures.always = inUse;  // past the 30 s a scanner gets
        if (!backupRemovable) g.platform.deleteFailures.nth[1] = inUse;
        {
            const car::Error e = errorOf([&] { g.form.CompactDB(kDb); });
            EXPECT_EQ(e.number, inUse.number);
            EXPECT_NE(e.description.find(L"The old database is still in place under " + kDb), std::wstring::npos)
                << narrow(e.description);
        }
        EXPECT_EQ(g.form.BackupPath(), L"");
        EXPECT_EQ(g.platform.files.at(kDb).content, "old data");
        EXPECT_FALSE(g.platform.files.at(kDb).compacted);
        EXPECT_EQ(g.platform.files.size(), backupRemovable ? 2U : 3U);  // and the compacted copy
        EXPECT_EQ(g.platform.guardedPathEmptyAt, std::vector<std::wstring>{});
        EXPECT_EQ(g.platform.replaceFailures.calls, 61);
    }
}

// A scanner that opens a file for a moment makes a hold, a flush or a rename
// wait, in steps and with the status unchanged, instead of throwing the
// compaction away. The compacted copy is held from the engine's end on, gets
// the old file's owner and access list and is on the disk before it takes
// the database's name through its hold, and stays held as the database.
TEST_F(Compaction, SwapOutlastsAScannerAndWritesTheCopyFirst) {
    const car::Error inUse{car::hresult(0x80070020u), L"The process cannot access the file because it is being used."};
    h.platform.holdFileFailures.nth[1] = inUse;
    h.platform.flushFailures.nth[1] = inUse;
    for (int n = 1; n <= 3; ++n) {
        h.platform.replaceFailures.nth[n] = inUse;
        h.platform.moveFailures.nth[n] = inUse;
    }
    h.form.CompactDB(kDb);
    const std::wstring temp = tempName();
    const std::wstring renamed = L"rename " + temp + L" -> " + kDb + L" replacing";
    EXPECT_EQ(
        h.log.only(
            {L"holdFile", L"release", L"giveOwnerAndAccessList", L"flush", L"createHardLink", L"rename", L"lblStatus"}),
        (std::vector<std::wstring>{
            L"lblStatus.Caption=Compact complete. Renaming old Database", L"holdFile " + temp, L"holdFile " + temp,
            L"holdFile " + kDb, L"release " + kDb, L"giveOwnerAndAccessList " + temp + L" <- " + kDb, L"flush " + temp,
            L"flush " + temp, L"createHardLink " + kDb + L" -> " + temp + L"Backup",
            L"lblStatus.Caption=Putting compacted database in place", renamed, renamed, renamed, renamed}));
    EXPECT_TRUE(h.platform.files.at(kDb).compacted);
    EXPECT_EQ(h.platform.heldFiles, std::multiset<std::wstring>{kDb});

    // The same on a volume without hard links: the renames wait as well.
    Harness g;
    g.platform.files[kDb] = FakeFile{"old data", false};
    g.platform.hardLinks = false;
    for (int n = 1; n <= 3; ++n) g.platform.moveFailures.nth[n] = inUse;
    g.platform.accessListFailures.always = car::Error{car::hresult(0x80070005u), L"Access is denied."};
    g.form.CompactDB(kDb);
    EXPECT_EQ(g.log.count(L"moveFile"), 4U);
    EXPECT_EQ(g.log.count(L"rename "), 1U);
    EXPECT_TRUE(g.platform.files.at(kDb).compacted);
    EXPECT_EQ(g.platform.files.at(g.form.BackupPath()).content, "old data");
}

TEST_F(Compaction, PathWithoutExtensionGetsTheSuffixAppended) {
    const std::wstring db = L"C:\\data\\suite";
    h.platform.files = {{db, FakeFile{"old data", false}}};
    h.form.CompactDB(db);
    const std::wstring s = suffixOf(h.form, db);
    ASSERT_TRUE(std::regex_match(s, kSuffixForm)) << narrow(h.form.BackupPath());
    EXPECT_EQ(filesOf(h.platform), (std::set<std::wstring>{db + L"=old data*", db + s + L"Backup=old data"}));
}

// A failed compaction says so in its own words and ends the program: the
// old database stays as it was and nothing after the compaction runs.
TEST_F(Compaction, FailureIsReportedInItsOwnMessageAndEnds) {
    const std::vector<car::Error> errors{
        {car::hresult(0x80004005u), L"The database has been placed in a state by user 'Admin'\r\non machine 'SRV01'."},
        {car::hresult(0x80040E4Du), L"Not a valid password."},
    };
    for (const car::Error& error : errors) {
        Harness g;
        g.platform.files[kDb] = FakeFile{"old data", false};
        g.platform.compactFailures.always = error;
        EXPECT_THROW(g.form.CompactDB(kDb), EndSignal);
        const std::wstring text =
            L"Could not compact and repair database. Please try and compact and repair the database using the Manual "
            L"Method described in the FAQ\r\nError was: " +
            std::to_wstring(error.number) + L", " + error.description;
        EXPECT_EQ(g.platform.messages, std::vector<std::wstring>{text});
        const auto tail = g.log.without({L"pathExists"});
        ASSERT_GE(tail.size(), 3U);
        EXPECT_TRUE(tail[tail.size() - 3].starts_with(L"compactDatabase "));
        EXPECT_EQ(tail[tail.size() - 2], L"showMessage " + text);
        EXPECT_EQ(tail.back(), L"end 3");
        EXPECT_EQ(g.form.BackupPath(), L"");
        EXPECT_EQ(filesOf(g.platform), std::set<std::wstring>{kDb + L"=old data"});
        EXPECT_EQ(g.platform.liveJetEngines, 0);
    }
}

TEST_F(Compaction, MissingDatabaseTakesTheFailurePathWithTheEngineWords) {
    h.platform.files.clear();
    EXPECT_THROW(h.form.CompactDB(kDb), EndSignal);
    ASSERT_EQ(h.platform.messages.size(), 1U);
    EXPECT_TRUE(h.platform.messages[0].ends_with(L"\r\nError was: -2147467259, Could not find file '" + kDb + L"'."))
        << narrow(h.platform.messages[0]);
}

// Only the compaction itself has its own message; an engine that cannot be
// created is an ordinary error for the caller.
TEST_F(Compaction, EngineThatCannotBeCreatedIsTheCallersError) {
    const car::Error noClass{car::hresult(0x800401F3u), L"Invalid class string"};
    h.platform.jetCreateFailures.always = noClass;
    expectError([&] { h.form.CompactDB(kDb); }, noClass);
    EXPECT_TRUE(h.platform.messages.empty());
    EXPECT_EQ(filesOf(h.platform), std::set<std::wstring>{kDb + L"=old data"});
}

TEST_F(Compaction, FailedFirstMoveLeavesTheOldDatabaseInPlace) {
    h.platform.hardLinks = false;
    const car::Error inUse{car::hresult(0x80070020u), L"The process cannot access the file because it is being used."};
    h.platform.moveFailures.always = inUse;
    expectError([&] { h.form.CompactDB(kDb); }, inUse);
    EXPECT_EQ(h.log.count(L"moveFile"), 61U);  // the first and 30 s of steps
    EXPECT_EQ(filesOf(h.platform), (std::set<std::wstring>{kDb + L"=old data", tempName() + L"=old data*"}));
    EXPECT_TRUE(h.platform.messages.empty());
}

// When the compacted copy cannot take the database's name, the old database
// goes back under it before the error goes on.
TEST_F(Compaction, FailedSecondMovePutsTheOldDatabaseBack) {
    h.platform.hardLinks = false;
    const car::Error denied{car::hresult(0x80070070u), L"There is not enough space on the disk."};
    h.platform.moveFailures.nth[2] = denied;
    {
        const car::Error e = errorOf([&] { h.form.CompactDB(kDb); });
        EXPECT_EQ(e.number, denied.number);
        EXPECT_NE(e.description.find(denied.description), std::wstring::npos) << narrow(e.description);
    }
    const std::wstring temp = tempName();
    ASSERT_TRUE(std::regex_match(temp.substr(kDb.size()), kSuffixForm)) << narrow(temp);
    EXPECT_EQ(
        h.log.only({L"moveFile", L"rename"}),
        (std::vector<std::wstring>{L"moveFile " + kDb + L" -> " + temp + L"Backup", L"rename " + temp + L" -> " + kDb,
                                   L"moveFile " + temp + L"Backup -> " + kDb}));
    EXPECT_EQ(filesOf(h.platform), (std::set<std::wstring>{kDb + L"=old data", temp + L"=old data*"}));
}

TEST_F(Compaction, FailedRollBackSaysWhereBothFilesAre) {
    h.platform.hardLinks = false;
    const car::Error denied{car::hresult(0x80070070u), L"There is not enough space on the disk."};
    h.platform.moveFailures.nth[2] = denied;
    h.platform.moveFailures.nth[3] = denied;
    {
        const car::Error e = errorOf([&] { h.form.CompactDB(kDb); });
        // Both names appear: the backup's, and the compacted copy's on its own.
        const std::wstring temp = tempName();
        std::wstring rest = e.description;
        const auto at = rest.find(temp + L"Backup");
        ASSERT_NE(at, std::wstring::npos) << narrow(e.description);
        rest.erase(at, temp.size() + 6);
        EXPECT_NE(rest.find(temp), std::wstring::npos) << narrow(e.description);
    }
    const std::wstring temp = tempName();
    EXPECT_EQ(filesOf(h.platform), (std::set<std::wstring>{temp + L"Backup=old data", temp + L"=old data*"}));
}

// A file left under the temporary or the backup name by an earlier run makes
// the suffix be drawn again; the names keep their form.
TEST_F(Compaction, SuffixIsDrawnAgainWhenItsNamesAreTaken) {
    const std::wstring firstChoice = [] {
        Harness probe;
        probe.platform.files[kDb] = FakeFile{"old data", false};
        probe.form.CompactDB(kDb);
        return suffixOf(probe.form, kDb);
    }();
    ASSERT_FALSE(firstChoice.empty());
    for (const std::wstring& taken : {kDb + firstChoice, kDb + firstChoice + L"Backup"}) {
        Harness g;
        g.platform.files[kDb] = FakeFile{"old data", false};
        g.platform.files[taken] = FakeFile{"earlier run", false};
        g.form.CompactDB(kDb);
        const std::wstring s = suffixOf(g.form, kDb);
        EXPECT_TRUE(std::regex_match(s, kSuffixForm)) << narrow(g.form.BackupPath());
        EXPECT_NE(s, firstChoice);
        EXPECT_EQ(g.platform.files.at(taken).content, "earlier run");
        EXPECT_TRUE(g.platform.files.at(kDb).compacted);
    }
}

// A file that someone puts under the temporary or the backup name after it
// was drawn is never written over: the engine and the second name create
// only new files, so the step fails and the database stays as it was.
TEST_F(Compaction, DrawnNamesAreOnlyEverCreatedNew) {
    for (const std::wstring ending : {L"", L"Backup"}) {
        Harness g;
        g.platform.files[kDb] = FakeFile{"old data", false};
        g.platform.heldForChecks[kDb] = 1;  // a pump between the draw and the compaction
        bool planted = false;
        g.platform.onPump = [&] {
            const bool due = ending.empty() ? g.log.count(L"fileInUse") > 0 : !g.platform.compactions.empty();
            if (planted || !due) return;
            planted = true;
            for (int n = 0; n < 900; ++n) {
                g.platform.files[kDb + L"." + std::to_wstring(n) + L".tmp" + ending] = FakeFile{"planted", false};
            }
        };
        try {
            g.form.CompactDB(kDb);
            ADD_FAILURE() << "the compaction went through";
        } catch (const car::Error&) {
        } catch (const EndSignal&) {
        }
        ASSERT_TRUE(planted);
        EXPECT_EQ(g.platform.files.at(kDb).content, "old data");
        EXPECT_FALSE(g.platform.files.at(kDb).compacted);
        for (const auto& [path, file] : g.platform.files) {
            if (path != kDb && path.ends_with(L".tmp" + ending)) {
                EXPECT_EQ(file.content, "planted") << narrow(path);
            }
        }
    }
}

TEST_F(Compaction, OnlyFreeSuffixIsFound) {
    for (int n = 0; n < 900; ++n) {
        if (n == 417) continue;
        const std::wstring name = kDb + L"." + std::to_wstring(n) + L".tmp";
        h.platform.files[n % 2 ? name : name + L"Backup"] = FakeFile{"earlier run", false};
    }
    h.form.CompactDB(kDb);
    EXPECT_EQ(h.form.BackupPath(), kDb + L".417.tmpBackup");
    EXPECT_TRUE(h.platform.files.at(kDb).compacted);
}

TEST_F(Compaction, AllSuffixesTakenIsAnErrorBeforeAnythingIsTouched) {
    for (int pattern = 0; pattern < 3; ++pattern) {
        Harness g;
        g.platform.files[kDb] = FakeFile{"old data", false};
        for (int n = 0; n < 900; ++n) {
            const std::wstring name = kDb + L"." + std::to_wstring(n) + L".tmp";
            const bool backup = pattern == 1 || (pattern == 2 && n % 2 == 1);
            g.platform.files[backup ? name + L"Backup" : name] = FakeFile{"earlier run", false};
        }
        const auto before = filesOf(g.platform);
        {
            const car::Error e = errorOf([&] { g.form.CompactDB(kDb); });
            EXPECT_FALSE(e.description.empty());
        }
        EXPECT_EQ(g.log.count(L"compactDatabase"), 0U);
        EXPECT_EQ(g.log.count(L"moveFile"), 0U);
        EXPECT_EQ(filesOf(g.platform), before);
        EXPECT_EQ(g.form.BackupPath(), L"");
    }
}

}  // namespace
}  // namespace cartest

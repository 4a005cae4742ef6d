// Creating and loading the window: the database path, the product marks,
// the caption, and the refusal to go on without a JET data source.
#include <gtest/gtest.h>

#include <tuple>

#include "app/safeguards/last_run.h"
#include "harness.h"
#include "sequence.h"
#include "ui/layout.h"

namespace cartest {
namespace {

const std::wstring kCaption = L"Form.Caption=Compact And Repair - ";

TEST(Startup, InitializeSetsUpTheCommonControlsAndIgnoresTheirAnswer) {
    for (bool answer : {true, false}) {
        Harness h;
        h.platform.commonControlsResult = answer;
        h.form.Form_Initialize();
        EXPECT_EQ(h.log.entries(), std::vector<std::wstring>{L"initCommonControls 8 0x800"});
    }
}

TEST(Startup, LoadReadsThePathProbesTheProductsAndNamesTheHost) {
    struct Case {
        Products products;
        std::wstring dbq;
        std::wstring shown;
    };
    const std::vector<Case> cases{
        {{true, true, true}, kDbPath, kDbPath},
        {{false, false, false}, kDbPath, kDbPath},
        {{true, false, true}, L"", L""},                                // empty text is shown and used as it is
        {{true, false, false}, L"D:/Quorvin Data/suite.mdb", kDbPath},  // read as Windows reads it
        {{true, false, false}, L"D:\\QUORVI~1\\suite.mdb", kDbPath},    // short names made long
    };
    for (const Case& c : cases) {
        Harness h;
        h.install(c.products, c.dbq);
        h.platform.longPaths[L"D:\\QUORVI~1\\suite.mdb"] = kDbPath;
        h.form.Form_Load();

        Expected want;
        want.add(L"regRead " + kDbqPath).add(L"regRead " + kDbqPath).set(L"txtDBPath", L"Caption", c.shown);
        want.keyProbe(kThKey);
        if (c.products.teamharbor) want.set(L"thline", L"Visible", L"0");
        want.keyProbe(kTpKey);
        if (c.products.mailServer) want.set(L"tpline", L"Visible", L"0");
        want.keyProbe(kQoKey);
        if (c.products.organizer) want.set(L"qoline", L"Visible", L"0");
        want.hostLookup().add(kCaption + L"SRV01");
        EXPECT_TRUE(sameSequence(h.log.entries(), want));
        EXPECT_TRUE(h.platform.messages.empty());
    }
}

TEST(Startup, CaptionEndsInTheSeparatorWhenTheHostNameIsEmpty) {
    Harness h;
    h.install({});
    h.platform.hostField.clear();
    h.form.Form_Load();
    EXPECT_EQ(h.form.Form.Caption(), L"Compact And Repair - ");

    Harness noParams;
    noParams.install({});
    noParams.platform.networkParamsSize = 0;
    noParams.form.Form_Load();
    EXPECT_EQ(noParams.form.Form.Caption(), L"Compact And Repair - ");
}

// Without a DBQ value the program says so and ends before it looks at
// anything else; it does so also when the data source is of another driver.
TEST(Startup, WithoutDbqTheProgramEndsAfterItsMessage) {
    for (bool otherDriver : {false, true}) {
        Harness h;
        h.install({true, true, true});
        h.platform.failRead(kDbqPath, {car::kFileNotFoundHr, FakePlatform::missingWording(kDbqPath)});
        if (otherDriver) {
            h.platform.setValue(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\QuorvinCollaborationSuite\\Driver",
                                std::wstring(L"C:\\Windows\\system32\\SQLSRV32.dll"));
        }
        EXPECT_THROW(h.form.RunEvent([&] { h.form.Form_Load(); }), EndSignal);
        EXPECT_EQ(h.log.entries(),
                  (std::vector<std::wstring>{L"regRead " + kDbqPath, L"showMessage Data Source was not a JET driver",
                                             L"end 2"}));
        EXPECT_EQ(h.view.changes(), 0U);
    }
}

// A DBQ that is no text (a multi-string) fails when it is turned into the
// path: the failure reaches the boundary and nothing in the window changed.
TEST(Startup, DbqThatIsNoTextReachesTheBoundaryAndChangesNothing) {
    const car::RegValue list = std::vector<std::wstring>{L"D:\\a.mdb", L"D:\\b.mdb"};
    car::Error conversion;
    try {
        car::RegValueToText(list);
    } catch (const car::Error& e) {
        conversion = e;
    }
    ASSERT_FALSE(conversion.description.empty());

    Harness h;
    h.install({true, true, true});
    h.platform.setValue(kDbqPath, list);
    EXPECT_THROW(h.form.RunEvent([&] { h.form.Form_Load(); }), EndSignal);
    ASSERT_EQ(h.platform.messages.size(), 1U);
    EXPECT_TRUE(showsError(h.platform.messages[0], conversion)) << narrow(h.platform.messages[0]);
    EXPECT_EQ(h.log.entries().back(), L"end 1");
    EXPECT_EQ(h.view.changes(), 0U);
    EXPECT_EQ(h.log.count(L"regRead HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin"), 0U);
}

TEST(Startup, FailingReadAfterASuccessfulProbeReachesTheBoundary) {
    Harness h;
    h.install({});
    // The probe succeeds; the read right after it is refused.
    const car::Error refused{car::hresult(0x80070005u), L"Access is denied."};
    h.platform.failRead(kDbqPath, refused, 2);
    EXPECT_THROW(h.form.RunEvent([&] { h.form.Form_Load(); }), EndSignal);
    ASSERT_EQ(h.platform.messages.size(), 1U);
    EXPECT_TRUE(showsError(h.platform.messages[0], refused));
    EXPECT_EQ(h.view.changes(), 0U);
}

// Without a person the same failures end the program with their exit codes
// alone: a box in a session nobody sees would wait for ever.
TEST(Startup, UnattendedFailuresShowNoBox) {
    for (const bool noDataSource : {true, false}) {
        Harness h;
        h.install({});
        h.form.ApplyArguments({L"/unattended"});
        if (noDataSource) {
            h.platform.failRead(kDbqPath, {car::kFileNotFoundHr, FakePlatform::missingWording(kDbqPath)});
        } else {
            h.platform.failRead(kDbqPath, {car::kAccessDeniedHr, L"Access is denied."}, 2);
        }
        try {
            h.form.RunEvent([&] { h.form.Form_Load(); });
            ADD_FAILURE() << "the program went on";
        } catch (const EndSignal& end) {
            EXPECT_EQ(end.exitCode, noDataSource ? car::kExitNoDataSource : car::kExitError);
        }
        EXPECT_EQ(h.platform.messages, std::vector<std::wstring>{});
    }
}

// A log whose last run has no outcome was cut short: the next start says
// what is not running and starts it again (with a person, when asked, and
// holding nothing while the question waits), and removes the engine's
// unfinished copy; a last run with its outcome is no finding, nor is a check.
// A run killed in the middle of its swap left nothing under the database's
// name: the database is put back before anything else, or nothing starts.
TEST(Startup, AnInterruptedRunIsFoundAtTheNextStart) {
    enum Swap { NoSwap, BackupAndCopy, CopyOnly, Neither };
    struct Case {
        const char* label;
        bool interrupted;
        bool suiteDown;  // Teamharbor's service stopped, the mail server's program ended
        bool unattended;
        bool answerYes;
        bool anotherRun = false;  // in progress: its log has no outcome yet
        Swap swap = NoSwap;
        std::vector<std::wstring> after = {};  // records a later start wrote
        bool onlyBeside = false;               // the log beside the database says it, the record does not
        std::function<void(FakePlatform&)> untrustedFolder = {};  // the record's folder fails its check
    };
    const std::wstring stamp = L"2026-12-01 03:00:00.000 ";
    const std::wstring header = L"Compact And Repair 1.0.0 on SRV01, database " + kDbPath;
    const std::wstring copy = kDbPath + L".417.tmp";
    const std::wstring backup = copy + L"Backup";
    // An interrupted run with the suite down, which only the log beside the
    // database tells, or whose record's folder fails its check.
    const auto besideOnly = [](const char* label, bool unattended) {
        Case c{label, true, true, unattended, true};
        c.onlyBeside = true;
        return c;
    };
    const auto folderFails = [](const char* label, std::function<void(FakePlatform&)> folder) {
        Case c{label, true, true, false, true};
        c.untrustedFolder = std::move(folder);
        return c;
    };
    const std::vector<Case> cases{
        {"the last run ended", false, true, false, true},
        {"another run in progress", false, true, true, true, true},
        {"interrupted, everything runs", true, false, false, true},
        {"interrupted, the suite down, Yes", true, true, false, true},
        {"interrupted, the suite down, No", true, true, false, false},
        {"interrupted, the suite down, unattended", true, true, true, false},
        {"interrupted, a check and a refused start since",
         true,
         true,
         true,
         false,
         false,
         NoSwap,
         {header + L", check only (pid 7)", L"Outcome: checked, a run could not start now; exit code 4",
          L"Refused (pid 8): another run of Compact And Repair is in progress on this server"}},
        {"the last run ended, a check killed since",
         false,
         true,
         true,
         false,
         false,
         NoSwap,
         {header + L", check only (pid 7)"}},
        {"killed in its swap, Yes", true, true, false, true, false, BackupAndCopy},
        {"killed in its swap, the backup gone, unattended", true, true, true, true, false, CopyOnly},
        {"killed in its swap, both gone", true, true, false, true, false, Neither},
        {"killed in its swap, both gone, unattended", true, true, true, true, false, Neither},
        besideOnly("interrupted in the log beside the database alone", false),
        besideOnly("interrupted in the log beside the database alone, unattended", true),
        folderFails("interrupted, the record's folder a link",
                    [](FakePlatform& p) {
                        p.trustedFolderRefusal = car::Error{car::kAccessDeniedHr, L"it is a link"};
                    }),
        folderFails("interrupted, the record's folder a user's",
                    [](FakePlatform& p) { p.trustedFolderOwner = L"S-1-5-21-7-7-7-1013"; }),
        folderFails("interrupted, Users may write in the record's folder",
                    [](FakePlatform& p) { p.trustedFolderWriters.push_back(L"S-1-5-32-545"); }),
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.install({true, true, true});
        if (c.unattended) h.form.ApplyArguments({L"/unattended"});
        if (c.untrustedFolder) c.untrustedFolder(h.platform);
        h.start();
        std::vector<std::wstring>& log = h.platform.appended[c.onlyBeside ? kDbPath + L".log" : kRecordPath];
        log = {stamp + header, stamp + L"Status: Stopping Services", stamp + L"Compacting into: " + copy};
        if (c.swap != NoSwap) {
            log.push_back(stamp + L"Swap begins; compacted copy: " + copy);
            log.push_back(stamp + L"Swap begins; backup name: " + backup);
            h.platform.files.erase(kDbPath);
            if (c.swap == BackupAndCopy) h.platform.files[backup] = FakeFile{"old data", false};
        }
        if (!c.interrupted && !c.anotherRun) log.push_back(stamp + L"Outcome: the database could not be compacted");
        for (const std::wstring& line : c.after) log.push_back(stamp + line);
        h.platform.lockTakenElsewhere = c.anotherRun;
        if (c.swap != Neither) h.platform.files[copy] = FakeFile{"the copy", c.swap != NoSwap};
        h.platform.files[kDbPath + L".3.tmpBackup"] = FakeFile{"an old backup", false};
        if (c.suiteDown) {
            h.platform.services[0].running = false;
            std::erase_if(h.platform.processes,
                          [](const FakeProcess& p) { return p.name == L"QMSSrv.exe" || p.name == L"THService.exe"; });
        }
        const std::size_t before = log.size();
        h.platform.answerYes = c.answerYes;
        int exitCode = -1;
        try {
            h.form.RunEvent([&] { h.form.CheckLastRun(); });
        } catch (const EndSignal& end) {
            exitCode = end.exitCode;
        }
        // Without a database nothing starts: a suite that makes a new one
        // would part the data from the backup.
        EXPECT_EQ(exitCode, c.swap == Neither ? car::kExitError : -1);
        const bool lost = c.swap == Neither;
        // Only the record that administrators alone may write is ground for acting.
        const bool untrusted = c.untrustedFolder != nullptr;
        const bool actedOn = c.interrupted && !c.onlyBeside && !untrusted;
        const bool asked = actedOn && c.suiteDown && !c.unattended && !lost;
        ASSERT_EQ(h.platform.questions.size(), asked ? 1U : 0U);
        if (asked) {
            EXPECT_TRUE(h.platform.questions[0].starts_with(
                std::wstring(c.swap != NoSwap ? L"The database has been put back under its name.\r\n\r\n" : L"") +
                L"The last run of Compact And Repair, started 2026-12-01 03:00:00.000, did not end: its last status "
                L"was \"Stopping Services\".\r\n\r\nNot running now: Teamharbor and Quorvin Mail Server."));
        }
        EXPECT_EQ(h.platform.messages.size(), (lost || untrusted) && !c.unattended ? 1U : 0U);
        if (untrusted) {
            EXPECT_TRUE(h.platform.messages.at(0).starts_with(L"The record of each run"))
                << narrow(h.platform.messages[0]);
            EXPECT_FALSE(h.platform.trustedFolderHeld);
        }
        EXPECT_EQ(h.platform.events.size(), lost && c.unattended ? 1U : 0U);
        EXPECT_EQ(h.platform.heldAtBoxes, std::vector<int>(h.platform.heldAtBoxes.size(), 0));
        const bool started = actedOn && c.suiteDown && (c.unattended || c.answerYes) && !lost;
        EXPECT_EQ(h.platform.service(L"Teamharbor")->running, !c.suiteDown || started);
        EXPECT_EQ(h.log.count(L"launch 1 \"" + kTpFolder + L"\\QMSSrv.EXE\""), started ? 1U : 0U);
        // The database back under its name before anything starts: the old
        // one when its backup is there, else the finished copy.
        EXPECT_EQ(h.platform.files.contains(kDbPath), !lost);
        if (c.swap == BackupAndCopy || c.swap == CopyOnly) {
            EXPECT_EQ(h.platform.files.at(kDbPath).compacted, c.swap == CopyOnly);
            const std::vector<std::wstring> order = h.log.only({L"moveFile", L"execMethod StartService", L"launch"});
            ASSERT_FALSE(order.empty());
            EXPECT_TRUE(order.front().starts_with(L"moveFile ")) << narrow(order.front());
        }
        // The unfinished copy goes with a finding, once the database is in
        // place; never a backup or the database.
        EXPECT_EQ(h.platform.files.contains(copy), !actedOn && c.swap == NoSwap);
        EXPECT_EQ(h.platform.locksHeld, 0);
        EXPECT_TRUE(h.platform.files.contains(kDbPath + L".3.tmpBackup"));
        EXPECT_EQ(log.size() > before, actedOn);
        EXPECT_EQ(log.back().find(L" Outcome: interrupted run found, ") != std::wstring::npos, actedOn);
    }
}

// "/recover" deals with an interrupted run alone and ends: 0 when nothing
// was left to do or everything runs again, 5 when a product did not come
// back, whose interruption then stays open for the next start.
TEST(Startup, RecoverDealsWithTheLastRunAloneAndSaysHowItWent) {
    const std::wstring stamp = L"2026-12-01 03:00:00.000 ";
    for (const auto& [label, interrupted, programGone, exitCode] :
         {std::tuple{"after a clean run", false, false, car::kExitLeft},
          std::tuple{"after a killed run", true, false, car::kExitLeft},
          std::tuple{"after a killed run, the mail server's program gone", true, true, car::kExitNotAllBack}}) {
        SCOPED_TRACE(label);
        Harness h;
        h.install({true, true, false});
        h.form.ApplyArguments({L"/recover", L"/unattended"});
        h.form.Form_Initialize();
        h.form.Form_Load();
        std::vector<std::wstring>& record = h.platform.appended[kRecordPath];
        record = {stamp + L"Compact And Repair 1.0.0 on SRV01, database " + kDbPath,
                  stamp + L"Status: Stopping Services"};
        if (!interrupted) record.push_back(stamp + L"Outcome: finished; after 1 ms");
        h.platform.services[0].running = false;
        std::erase_if(h.platform.processes, [](const FakeProcess& p) { return p.name == L"QMSSrv.exe"; });
        if (programGone) h.platform.files.erase(kTpFolder + L"\\QMSSrv.EXE");
        int code = -1;
        try {
            h.form.RunEvent([&] { h.form.RunRecover(); });
        } catch (const EndSignal& end) {
            code = end.exitCode;
        }
        EXPECT_EQ(code, exitCode);
        EXPECT_EQ(h.platform.service(L"Teamharbor")->running, interrupted);
        EXPECT_EQ(h.platform.compactions.size(), 0U);  // a recovery, never a run
        // Without everything back the record has no outcome: the next start looks again.
        EXPECT_EQ(car::LastRun::parse(*h.platform.readTextTail(kRecordPath, 0)).interrupted,
                  interrupted && programGone);
    }
}

// The Ready state: what the user sees when start-up is over.
TEST(WindowStates, ReadyAfterStartUp) {
    Harness h{Products{true, false, true}};
    const car::frmCompactAndRepair& f = h.form;
    EXPECT_TRUE(f.cmdCompact.Visible() && f.cmdCompact.Enabled());
    EXPECT_EQ(f.cmdCompact.Caption(), L"Compact and Repair Database");
    EXPECT_TRUE(f.cmdClose.Visible() && f.cmdClose.Enabled());
    EXPECT_EQ(f.cmdClose.Caption(), L"Cancel");
    EXPECT_FALSE(f.cmdOpenDataFolder.Visible());
    EXPECT_FALSE(f.prjProgress.Visible());
    EXPECT_EQ(f.prjProgress.Value(), 0.0F);
    EXPECT_EQ(f.prjProgress.Max(), 10.0F);
    EXPECT_FALSE(f.thline.Visible());  // installed
    EXPECT_TRUE(f.tpline.Visible());   // not installed
    EXPECT_FALSE(f.qoline.Visible());  // installed (and never drawn anyway)
    EXPECT_TRUE(f.imgTH.Visible() && f.imgTP.Visible() && f.imgQO.Visible());
    EXPECT_EQ(f.lblStatus.Caption(), car::kReadyStatus);
    EXPECT_EQ(f.lblStatus.Left(), 240);
    EXPECT_EQ(f.lblStatus.Width(), 6735);
    EXPECT_FALSE(f.imgTick.Visible());
    EXPECT_TRUE(f.lblStatus2.Visible());
    EXPECT_FALSE(f.lblSpin.Visible());
    EXPECT_FALSE(f.tmrSpin.Enabled());
    EXPECT_EQ(f.tmrSpin.Interval(), 50);
    EXPECT_EQ(f.txtDBPath.Caption(), kDbPath);
    EXPECT_EQ(f.Form.Caption(), L"Compact And Repair - SRV01");
    EXPECT_TRUE(f.QueryUnload());
}

}  // namespace
}  // namespace cartest

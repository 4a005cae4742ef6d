// The maintenance run from the button press to the Finished window.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <regex>
#include <set>
#include <tuple>

#include "harness.h"
#include "sequence.h"
#include "ui/layout.h"

namespace cartest {
namespace {

const Products kAllThree{true, true, true};
const car::Error outOfMemory{car::kOutOfMemoryHr, L"There is not enough memory to go on."};

// The standard library runs out of memory in the first pump after a status.
std::function<void(FakePlatform&)> outOfMemoryAt(const std::wstring& status) {
    return [status](FakePlatform& p) {
        p.onPump = [&p, status] {
            if (p.log().contains(L"lblStatus.Caption=" + status)) throw std::bad_alloc();
        };
    };
}

// The whole run on a server with all three products, call by call and text
// by text: the order is the product's own, and this is the one place that
// pins it. Other tests assert what must hold whatever the order.
Expected wholeRun(const std::vector<FakeProcess>& before, const std::wstring& backup, std::uint32_t qmsPid) {
    const std::wstring temp = backup.substr(0, backup.size() - 6);
    Expected e;
    const auto service = [&](const std::wstring& name, const std::wstring& method) {
        e.wmiQuery(kServiceQuery + name + L"'").add(L"execMethod " + method + L" " + name);
    };
    const auto kill = [&](const std::wstring& name) {
        e.wmiQuery(kProcessQuery + name + L"'");
        for (const FakeProcess& p : before) {
            if (p.name == name && p.whenAsked != WhenAsked::Closes)
                e.add(L"execMethod Terminate " + name + L" " + std::to_wstring(p.pid));
        }
    };
    const std::vector<std::wstring> programs{L"THService.exe", L"QMSSrv.exe", L"THAdmin.exe", L"TPAdmin.exe",
                                             L"QOAdmin.exe"};
    // The checks before anything is stopped (the search for a free temporary
    // name aside).
    // The machine's lock comes before anything is written to the log.
    e.add(L"lockInAdministratorsNamespace Compact And Repair run").hostLookup();
    e.add(L"restrictToAdministrators " + kDbPath + L".log").add(L"pathInfo " + kDbPath);
    e.add(L"holdFolder D:\\Quorvin Data\\").add(L"freeSpace D:\\Quorvin Data\\").keyProbe(kQoKey);
    e.add(L"pathInfo " + kSystemFolders.nativeSystem + L"\\iisreset.exe").add(L"createJetEngine");
    e.add(L"setShutdownBlock Compacting the suite's database; the suite is stopped");
    e.set(L"lblStatus2", L"Visible", L"1");
    e.set(L"thline", L"Visible", L"0").set(L"tpline", L"Visible", L"0").set(L"qoline", L"Visible", L"0");
    e.keyProbe(kThKey).keyProbe(kTpKey).keyProbe(kQoKey);
    e.step().status(L"Going to Kill Processes").set(L"prjProgress", L"Visible", L"1");
    e.set(L"cmdCompact", L"Visible", L"0").set(L"cmdClose", L"Visible", L"0").add(L"pump");
    e.set(L"cmdCompact", L"Enabled", L"0").set(L"cmdClose", L"Enabled", L"0").value(0).step();

    e.status(L"Stopping Services");
    service(L"Teamharbor", L"StopService");
    e.add(L"pump");
    service(L"Quorvin Mail Server", L"StopService");
    for (int i = 1; i <= 3; ++i) e.status(L"Stopping Services " + std::to_wstring(i)).step().add(L"pump");
    e.add(L"serviceState Teamharbor");  // the mail server's service was not running: not this run's to wait for
    // Every program asked to close, all at once, then one look at the process
    // list: closed at once, they are not waited for, and none is left to end.
    for (const std::wstring& name : programs) {
        e.add(L"processesNamed " + name);
        for (const FakeProcess& p : before) {
            if (p.name == name) e.add(L"askToClose " + std::to_wstring(p.pid));
        }
    }
    for (const std::wstring& name : programs) e.add(L"processesNamed " + name);
    kill(L"THService.exe");
    kill(L"QMSSrv.exe");
    e.step().status(L"Stopping Admin");
    for (const wchar_t* admin : {L"THAdmin.exe", L"TPAdmin.exe", L"QOAdmin.exe"}) kill(admin);
    for (int i = 1; i <= 3; ++i) e.status(L"Stopping Admin " + std::to_wstring(i)).step().add(L"pump");
    e.keyProbe(kQoKey).status(L"Stopping IIS").add(L"launch 2 iisreset /stop");
    for (int i = 1; i <= 5; ++i) e.step().add(L"pump").status(L"Stopping IIS (Waiting..." + std::to_wstring(i) + L")");
    e.value(1).step().step();

    e.status(L"About to compact and repair database...").add(L"pump").step();
    e.status(L"Compacting and repairing database...");
    // The tables read through DAO before the compaction and from the copy after it.
    e.step().add(L"createJetEngine").add(L"fileInUse " + kDbPath).add(L"daoTables " + kDbPath);
    e.add(L"pathInfo " + kDbPath);
    e.add(L"compactDatabase Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + kDbPath +
          L";Jet OLEDB:Database Password= | Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + temp +
          L";Jet OLEDB:Engine Type=5;Jet OLEDB:Database Password=");
    e.add(L"daoTables " + temp);
    // The compacted copy held and looked at from the engine's end, and made
    // the database through its hold.
    e.step().status(L"Compact complete. Renaming old Database").add(L"holdFile " + temp).add(L"holdFile " + kDbPath);
    e.add(L"release " + kDbPath).add(L"giveOwnerAndAccessList " + temp + L" <- " + kDbPath).add(L"flush " + temp);
    e.add(L"createHardLink " + kDbPath + L" -> " + backup);
    e.step().status(L"Putting compacted database in place").add(L"rename " + temp + L" -> " + kDbPath + L" replacing");
    e.add(L"pathInfo " + kDbPath).add(L"pump").step();

    // The grants, the host name looked up afresh for each one that names it;
    // on IIS 10 neither the ASP.NET worker nor IWAM has an account.
    const std::wstring text = L"Setting Permissions...";
    const std::wstring folder = L"D:\\Quorvin Data";
    const std::wstring admins = L"accountBySid S-1-5-32-544", users = L"accountBySid S-1-5-32-545";
    const std::wstring iisUsers = L"accountBySid S-1-5-32-568", iusr = L"accountBySid S-1-5-17";
    e.add(L"regReadNativeView " + kIisVersion);
    e.status(text).grant(admins, kDbPath, L"S-1-5-32-544").step();
    e.status(text + L"1").step().grant(iisUsers, kDbPath, L"S-1-5-32-568");
    e.status(text + L"2").step().hostLookup();
    e.status(text + L"3").step().hostLookup().grant(iusr, kDbPath, L"S-1-5-17");
    e.status(text + L"4").step().grant(users, kDbPath, L"S-1-5-32-545").grant(admins, folder, L"S-1-5-32-544", true);
    e.status(text + L"5").step();
    e.status(text + L"6").step().grant(iisUsers, folder, L"S-1-5-32-568", true);
    e.status(text + L"7").step().hostLookup();
    e.status(text + L"8").step().hostLookup().grant(iusr, folder, L"S-1-5-17", true);
    e.status(text + L"9").step().grant(users, folder, L"S-1-5-32-545", true);
    // Everything below the folder, once, for the four accounts.
    e.add(L"list " + folder);
    for (const std::wstring& below : {kDbPath, backup}) {
        e.add(L"openInTree " + below)
            .add(L"grantFullControl " + below + L" <- S-1-5-32-544,S-1-5-32-568,S-1-5-17,S-1-5-32-545");
    }
    // The database is let go for the servers only once the grants are done.
    e.add(L"release " + kDbPath).add(L"restrictToAdministrators " + kDbPath + L".log").add(L"pump").step().add(L"pump");

    e.status(L"Starting Services...");
    e.keyProbe(kThKey).add(L"regRead " + kThKey + L"Setup\\Folder").add(L"regRead " + kThKey + L"Setup\\installAsExe");
    e.add(L"serviceState Teamharbor");  // not started again while it runs
    service(L"Teamharbor", L"StartService");
    e.add(L"pump").keyProbe(kTpKey);
    e.add(L"regRead " + kTpKey + L"Setup\\Folder").add(L"regRead " + kTpKey + L"Setup\\installAsExe");
    e.add(L"processesNamed QMSSrv.exe");  // never a second copy
    e.add(L"pathInfo " + kTpFolder + L"\\").add(L"launch 1 \"" + kTpFolder + L"\\QMSSrv.EXE\"");
    e.add(L"pump").keyProbe(kQoKey).add(L"launch 2 iisreset /start").add(L"pump").step();
    // Each restarted server is looked for, as it was started, and IIS's web service.
    e.add(L"pump").add(L"serviceState Teamharbor");
    e.add(L"pump").add(L"processesNamed QMSSrv.exe").add(L"processImage " + std::to_wstring(qmsPid));
    e.add(L"pump").add(L"serviceState W3SVC");

    e.set(L"prjProgress", L"Visible", L"0").set(L"cmdClose", L"Enabled", L"1");
    e.set(L"cmdCompact", L"Visible", L"1").set(L"cmdClose", L"Visible", L"1").set(L"cmdClose", L"Caption", L"Exit");
    e.set(L"cmdOpenDataFolder", L"Visible", L"1");
    e.set(L"lblStatus", L"Width", L"5775").set(L"lblStatus", L"Left", L"1200").set(L"imgTick", L"Visible", L"1");
    return e.status(L"Compact and repair complete.\r\nThe old database has been backed up to: " + backup)
        .add(L"setShutdownBlock ");  // the run is over: a shutdown may go ahead
}

// The Finished window; with the whole suite back, the tick beside the text.
void expectFinished(const car::frmCompactAndRepair& f, Products p, bool allBack = true) {
    EXPECT_TRUE(f.cmdCompact.Visible());
    EXPECT_FALSE(f.cmdCompact.Enabled());
    EXPECT_TRUE(f.cmdClose.Visible() && f.cmdClose.Enabled());
    EXPECT_EQ(f.cmdClose.Caption(), L"Exit");
    EXPECT_TRUE(f.cmdOpenDataFolder.Visible());
    EXPECT_FALSE(f.prjProgress.Visible());
    EXPECT_FALSE(f.thline.Visible() || f.tpline.Visible() || f.qoline.Visible());
    EXPECT_EQ(f.imgTH.Visible(), p.teamharbor);
    EXPECT_EQ(f.imgTP.Visible(), p.mailServer);
    EXPECT_EQ(f.imgQO.Visible(), p.organizer);
    EXPECT_EQ(f.lblStatus.Left(), allBack ? 1200 : 240);
    EXPECT_EQ(f.lblStatus.Width(), allBack ? 5775 : 6735);
    EXPECT_EQ(f.imgTick.Visible(), allBack);
    EXPECT_EQ(f.imgTick.Left(), 240);
    EXPECT_TRUE(f.lblStatus2.Visible());
    EXPECT_FALSE(f.tmrSpin.Enabled());
    EXPECT_TRUE(f.QueryUnload());
}

// The lines of the run log without their time stamps, which must all have
// one form.
std::vector<std::wstring> logLines(const Harness& h) {
    static const std::wregex stamp(L"2026-12-07 \\d\\d:\\d\\d:\\d\\d\\.\\d{3} .*");
    std::vector<std::wstring> lines;
    const auto found = h.platform.appended.find(kDbPath + L".log");
    if (found == h.platform.appended.end()) return lines;
    for (const std::wstring& line : found->second) {
        EXPECT_TRUE(std::regex_match(line, stamp)) << narrow(line);
        lines.push_back(line.substr(24));
    }
    return lines;
}

// Everything an administrator looks for afterwards: the header, every
// status text in order, the requests with WMI's answers, the programs ended
// and started, the grants' exit codes, the sizes, the backup and the outcome.
void expectRunLog(const Harness& h, Products p) {
    const std::vector<std::wstring> lines = logLines(h);
    ASSERT_GE(lines.size(), 40U);
    EXPECT_EQ(lines.front(), L"Compact And Repair 1.0.0 on SRV01, database " + kDbPath + L" (pid 4242)");
    std::vector<std::wstring> statuses;
    for (const std::wstring& entry : h.log.only({L"lblStatus.Caption="})) {
        std::wstring text = entry.substr(18);
        for (std::size_t at; (at = text.find(L"\r\n")) != std::wstring::npos;) text.replace(at, 2, L"\\r\\n");
        statuses.push_back(L"Status: " + text);
    }
    std::vector<std::wstring> logged;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(logged),
                 [](const std::wstring& l) { return l.starts_with(L"Status: "); });
    EXPECT_EQ(logged, statuses);
    const auto has = [&](const std::wstring& start) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.starts_with(start); });
    };
    EXPECT_EQ(has(L"StopService Teamharbor: 0"), p.teamharbor);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::wstring& l) {
                                return l.starts_with(L"QMSSrv.exe (pid ") && l.ends_with(L") closed when asked");
                            }),
              p.mailServer ? 2 : 0);
    EXPECT_FALSE(has(L"Terminate "));  // each closed when asked
    // Each grant, and each iisreset's exit code.
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [](const std::wstring& l) { return l.starts_with(L"Grant: "); }), 12);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::wstring& l) { return l.starts_with(L"Ended with exit code 0 (pid "); }),
              p.organizer ? 2 : 0);
    EXPECT_TRUE(has(L"Database size before: 8"));
    EXPECT_TRUE(has(L"Database size after: 8"));
    EXPECT_TRUE(has(L"Backup: " + h.form.BackupPath()));
    EXPECT_TRUE(lines.back().starts_with(L"Outcome: finished; after ")) << narrow(lines.back());
}

// The existence checks of the suffix, the waits for iisreset and the idle
// spinner are left to the tests of their own.
TEST(Run, FollowsTheWholeRunCallByCall) {
    Harness h{kAllThree};
    const std::vector<FakeProcess> before = h.platform.processes;
    h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
    ASSERT_TRUE(h.form.BackupPath().ends_with(L"Backup"));
    EXPECT_TRUE(sameSequence(h.log.without({L"pathExists", L"await", L"lblSpin.", L"tmrSpin."}),
                             wholeRun(before, h.form.BackupPath(), h.platform.processes.back().pid)));
}

// What every run must keep to, on every installation and whatever the
// order of the pumps and texts in between.
TEST(Run, FinishesSafelyOnEveryInstallation) {
    const std::wstring startQms = L"launch 1 \"" + kTpFolder + L"\\QMSSrv.EXE\"";
    const std::wstring startIis = L"launch 2 iisreset /start";
    const std::vector<std::tuple<const char*, Products, std::vector<std::wstring>>> installations{
        {"no product", {}, {}},
        {"Organizer only", {false, false, true}, {startIis}},
        {"all three", kAllThree, {L"execMethod StartService Teamharbor", startQms, startIis}},
    };
    for (const auto& [label, products, restarts] : installations) {
        SCOPED_TRACE(label);
        Harness h{products};
        h.platform.addProcess(L"TPAdmin.exe");  // a program left behind by a product: ended all the same
        h.platform.guardedPath = kDbPath;
        // From the checks to the end the run has the machine to itself and
        // its data folder held: nobody can rename the folder away and put a
        // link in its place.
        bool heldAtEveryPump = true;
        h.platform.onPump = [&] {
            heldAtEveryPump = heldAtEveryPump && h.platform.locksHeld == 1 &&
                              h.platform.heldFolders.count(L"D:\\Quorvin Data\\") == 1;
        };
        h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
        EXPECT_TRUE(heldAtEveryPump);
        EXPECT_EQ(h.platform.locksHeld + h.platform.openAppendFiles, 0);
        EXPECT_TRUE(h.platform.heldFolders.empty());
        EXPECT_EQ(h.platform.openAppendFailures.calls, 2);  // the log and the record, each opened once for the run
        // What the next start acts on: every line of the run's record in the log, in the record as well.
        EXPECT_EQ(h.platform.appended[kRecordPath], h.platform.appended[kDbPath + L".log"]);
        // No privilege is enabled while a program or the engine starts; each
        // is enabled where it is needed.
        EXPECT_EQ(h.platform.startedWithPrivilege, std::vector<std::wstring>{});
        EXPECT_TRUE(h.platform.privileges.empty());
        EXPECT_EQ(h.platform.terminatedWithoutDebug + h.platform.ownersGivenWithoutRestore, 0);

        const std::vector<std::wstring>& e = h.log.entries();
        const auto first = [&](std::wstring_view prefix) {
            return std::find_if(e.begin(), e.end(), [&](const std::wstring& x) { return x.starts_with(prefix); }) -
                   e.begin();
        };
        // No service request, no process ended and no IIS stopped before
        // every check has passed.
        for (const std::wstring& check :
             std::vector<std::wstring>{L"lockInAdministratorsNamespace ", L"pathInfo " + kDbPath, L"holdFolder ",
                                       L"freeSpace ", L"pathExists ", L"createJetEngine"}) {
            EXPECT_LT(first(check), std::min(first(L"execMethod"), first(L"launch"))) << narrow(check);
        }
        // Whatever the run stopped is asked to start again afterwards, a
        // server as it is installed; nothing else is started.
        for (std::size_t i = 0; i < e.size(); ++i) {
            const auto later = [&](const std::wstring& entry) {
                return std::find(e.begin() + i, e.end(), entry) != e.end();
            };
            if (e[i].starts_with(L"execMethod StopService ")) {
                const std::wstring name = e[i].substr(23);
                EXPECT_TRUE(later(L"execMethod StartService " + name) ||
                            (name == L"Quorvin Mail Server" && later(startQms)))
                    << narrow(name);
            }
            EXPECT_TRUE(e[i] != L"launch 2 iisreset /stop" || later(startIis));
        }
        const auto started = h.log.only({L"execMethod StartService", L"launch 1", startIis});
        EXPECT_EQ(std::multiset<std::wstring>(started.begin(), started.end()),
                  std::multiset<std::wstring>(restarts.begin(), restarts.end()));
        EXPECT_EQ(h.log.count(L"launch 2 iisreset /stop"), products.organizer ? 1U : 0U);
        EXPECT_EQ(h.log.count(L"lblStatus.Caption=Stopping IIS"), products.organizer ? 6U : 0U);
        // The grants are for the compacted database, and a database stands
        // under its name at every call.
        EXPECT_LT(first(L"rename "), first(L"grantFullControl"));
        EXPECT_EQ(h.platform.guardedPathEmptyAt, std::vector<std::wstring>{});
        // It is held, so that nobody can take its name, through every grant,
        // and let go before any server is started, for the servers to open.
        const auto last = [&](std::wstring_view prefix) {
            return e.rend() -
                   std::find_if(e.rbegin(), e.rend(), [&](const std::wstring& x) { return x.starts_with(prefix); });
        };
        EXPECT_GT(last(L"release " + kDbPath), last(L"grantFullControl"));
        // The log is taken back from the users group after the folder's grants.
        EXPECT_GT(last(L"restrictToAdministrators " + kDbPath + L".log"), last(L"grantFullControl"));
        EXPECT_LT(last(L"release " + kDbPath),
                  std::min({first(L"execMethod StartService"), first(L"launch 1"), first(startIis)}));

        EXPECT_TRUE(h.platform.messages.empty());
        expectFinished(h.form, products);
        EXPECT_TRUE(h.platform.files.at(kDbPath).compacted);
        EXPECT_EQ(h.platform.files.at(h.form.BackupPath()).content, "old data");
        // Of the programs only explorer.exe is left, and the mail server's, started again.
        EXPECT_EQ(h.platform.processes.size(), products.mailServer ? 2U : 1U);
        EXPECT_TRUE(h.log.contains(L"tmrSpin.Enabled=0"));  // whether or not anything started it
        EXPECT_EQ(h.platform.liveWmiServices + h.platform.liveJetEngines, 0);
        EXPECT_TRUE(h.platform.events.empty());  // only unattended runs write to the event log
        expectRunLog(h, products);
    }
}

// The suite as the administrator expects it after a run: every installed
// product running, the way it is installed, one that was down before the run
// as much as one the run stopped, never a second copy; a product that cannot
// be found running is named, without the tick. What the run found installed
// stays installed, whatever a later read of the registry gives.
TEST(Run, EveryInstalledProductRunsAfterTheRun) {
    const car::Error denied{car::kAccessDeniedHr, L"Access is denied."};
    struct Case {
        const char* label;
        std::function<void(Harness&)> arrange;
        std::wstring notBack = {};  // the line that names a product not running again
    };
    const std::vector<Case> cases{
        {"Teamharbor's service down before the run", [](Harness& h) { h.platform.services[0].running = false; }},
        {"the mail server's program not running before the run",
         [](Harness& h) {
             std::erase_if(h.platform.processes, [](const FakeProcess& p) { return p.name == L"QMSSrv.exe"; });
         }},
        {"Teamharbor as a program, not running before the run",
         [](Harness& h) {
             h.platform.setValue(kThKey + L"Setup\\installAsExe", std::int64_t{1});
             h.platform.files[kThFolder + L"\\THSERVICE.EXE"] = FakeFile{"program", false};
             std::erase_if(h.platform.processes, [](const FakeProcess& p) { return p.name == L"THService.exe"; });
         }},
        {"Teamharbor's service missing",
         [](Harness& h) { std::erase_if(h.platform.services, [](auto& s) { return s.name == L"Teamharbor"; }); },
         L"Teamharbor is not running again: no service named \"Teamharbor\" exists. Please start Teamharbor "
         L"manually."},
        {"the keys unreadable after the compaction",
         [&](Harness& h) {
             h.platform.onPump = [&h, denied] {
                 if (h.platform.compactions.empty()) return;
                 for (const std::wstring& key : {kThKey, kTpKey, kQoKey}) h.platform.failRead(key, denied);
             };
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.install(kAllThree);
        h.start();
        c.arrange(h);
        h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
        expectFinished(h.form, kAllThree, c.notBack.empty());
        // Each server once, as it is installed, and IIS's web service.
        const auto copies = [&](const std::wstring& program) {
            return std::count_if(h.platform.processes.begin(), h.platform.processes.end(),
                                 [&](const FakeProcess& p) { return car::lowerCase(p.name) == program; });
        };
        const bool thAsProgram = h.platform.files.contains(kThFolder + L"\\THSERVICE.EXE");
        EXPECT_EQ(copies(L"qmssrv.exe"), 1);
        EXPECT_EQ(copies(L"thservice.exe"), thAsProgram ? 1 : 0);
        const FakeService* teamharbor = h.platform.service(L"Teamharbor");
        EXPECT_TRUE(thAsProgram || !teamharbor || teamharbor->running);
        EXPECT_TRUE(h.platform.service(L"W3SVC")->running);
        EXPECT_EQ(h.log.count(L"launch 2 iisreset /start"), 1U);
        EXPECT_EQ(h.form.lblStatus.Caption().ends_with(L"\r\n" + c.notBack), !c.notBack.empty());
    }
}

// A server still shutting down is never ended while it may write the
// database: the run waits in steps, at most two minutes, until its service
// reports Stopped; dependent services that hold up the stop are stopped first
// and started again at the end; a service already stopping is awaited. A
// refusal, or a service still stopping after the limit, ends the run before
// any program is ended or anything compacted, and starts again what it
// stopped, with a person at the window too.
TEST(Run, ServersAreNeverEndedWhileTheyMayStillWrite) {
    struct Case {
        const char* label;
        std::function<void(FakePlatform&)> arrange;
        std::size_t waits;
        int exitCode;  // -1: the run finished
        std::wstring said = {};
        std::size_t closeWaits = 0;   // texts of the wait for programs asked to close
        std::wstring closeLine = {};  // how the log ends the line of the one that did not close at once
    };
    // The suite's programs close when asked, unless a case says otherwise.
    const auto program = [](FakePlatform& p, const std::wstring& name) -> FakeProcess& {
        return *std::find_if(p.processes.begin(), p.processes.end(),
                             [&](const FakeProcess& x) { return x.name == name; });
    };
    const std::vector<Case> cases{
        {"stopped at once", [](FakePlatform&) {}, 0, -1},
        {"a server that closes after three readings",
         [&](FakePlatform& p) { program(p, L"THService.exe").closingReadings = 3; },
         0,
         -1,
         {},
         0,
         L") closed when asked"},
        // It holds the database until it is ended: the whole minute, with its text after two seconds.
        {"a server that ignores the request",
         [&](FakePlatform& p) {
             const std::uint32_t server = program(p, L"QMSSrv.exe").pid;
             program(p, L"QMSSrv.exe").whenAsked = WhenAsked::Ignores;
             p.heldForChecks[kDbPath] = 1'000'000;
             p.onPump = [&p, server] {
                 if (!p.isRunning(server)) p.heldForChecks.erase(kDbPath);
             };
         },
         0,
         -1,
         {},
         116,
         L") did not close within 60 s; it is ended"},
        {"an administration program that ignores it, the database free",
         [&](FakePlatform& p) { program(p, L"TPAdmin.exe").whenAsked = WhenAsked::Ignores; },
         0,
         -1,
         {},
         0,
         L") did not close within 2 s, and the database is free; it is ended"},
        {"a program without a window",
         [&](FakePlatform& p) { program(p, L"THAdmin.exe").whenAsked = WhenAsked::CannotBeAsked; },
         0,
         -1,
         {},
         0,
         L") has no window to be asked to close; it is ended"},
        {"stopping for three readings", [](FakePlatform& p) { p.services[0].stopPendingReadings = 3; }, 3, -1},
        // Started again only once it has stopped, which Windows requires.
        {"stopping for longer than two minutes", [](FakePlatform& p) { p.services[0].stopPendingReadings = 300; },
         240 + 57, car::kExitServiceNotStopped, L"Still not stopped after 120 s: Teamharbor."},
        {"the next service refuses while the first still stops",
         [](FakePlatform& p) {
             p.services[0].stopPendingReadings = 6;
             p.services[1].running = true;
             p.services[1].refusal = 2;
         },
         4, car::kExitServiceNotStopped,
         L"The service \"Quorvin Mail Server\" refused to stop (StopService answered 2: access denied)."},
        {"refused: access denied", [](FakePlatform& p) { p.services[0].refusal = 2; }, 0, car::kExitServiceNotStopped,
         L"The service \"Teamharbor\" refused to stop (StopService answered 2: access denied)."},
        {"dependent services running",
         [](FakePlatform& p) {
             p.services.emplace_back(L"TH Connector", true);
             p.services.back().dependsOn = L"Teamharbor";
             p.services.back().stopPendingReadings = 2;
         },
         2, -1},
        {"a dependent service refuses to stop",
         [](FakePlatform& p) {
             p.services.emplace_back(L"TH Connector", true);
             p.services.back().dependsOn = L"Teamharbor";
             p.services.back().refusal = 2;
         },
         0, car::kExitServiceNotStopped,
         L"The service \"TH Connector\", which depends on \"Teamharbor\", refused to stop (Error -2147024891: Access "
         L"is denied.)."},
        {"already stopping when asked",
         [](FakePlatform& p) {
             p.services[0].running = false;
             p.services[0].stopPending = 4;
         },
         3, -1},
    };
    for (const bool unattended : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + (unattended ? ", unattended" : ""));
            Harness h;
            h.install(kAllThree);
            if (unattended) h.form.ApplyArguments({L"/unattended"});
            h.start();
            c.arrange(h.platform);
            std::vector<std::wstring> runningBefore;
            for (const FakeService& service : h.platform.services) {
                if (service.running || service.stopPending > 0) runningBefore.push_back(service.name);
            }
            int exitCode = -1;
            try {
                h.form.RunEvent([&] { unattended ? h.form.RunUnattended() : h.form.cmdCompact_Click(); });
            } catch (const EndSignal& end) {
                exitCode = end.exitCode;
            }
            EXPECT_EQ(exitCode, unattended && c.exitCode == -1 ? car::kExitLeft : c.exitCode);
            std::vector<std::wstring> waits = h.log.only({L"lblStatus.Caption=Waiting for "});
            const auto closeWaits = std::stable_partition(
                waits.begin(), waits.end(), [](const std::wstring& x) { return x.find(L" to close... ") == x.npos; });
            EXPECT_EQ(static_cast<std::size_t>(waits.end() - closeWaits), c.closeWaits);
            if (c.closeWaits > 0) {
                EXPECT_EQ(*closeWaits, L"lblStatus.Caption=Waiting for QMSSrv.exe to close... 2 s of at most 60 s");
                EXPECT_EQ(waits.back(), L"lblStatus.Caption=Waiting for QMSSrv.exe to close... 59 s of at most 60 s");
            }
            waits.erase(closeWaits, waits.end());
            EXPECT_EQ(waits.size(), c.waits);
            if (c.waits > 0) {  // the last wait, the one before the start when there are two
                EXPECT_TRUE(waits.back().ends_with(L" to stop... " + std::to_wstring((c.waits - 1) % 240 / 2) +
                                                   L" s of at most 120 s"));
            }
            // No program ended while a service may still write, and not the
            // Part's own text again after a wait.
            const std::vector<std::wstring>& e = h.log.entries();
            const auto kill = std::find_if(e.begin(), e.end(), [](const std::wstring& x) {
                return x.starts_with(L"execMethod Terminate") || x.starts_with(L"askToClose ");
            });
            EXPECT_EQ(std::count(kill, e.end(), L"lblStatus.Caption=Stopping Services 3"), 0);
            EXPECT_EQ(kill == e.end(), c.exitCode != -1);
            // A program is ended only once it was asked and the wait is over,
            // and the wait takes at most a minute of the clock.
            const auto terminate = std::find_if(
                e.begin(), e.end(), [](const std::wstring& x) { return x.starts_with(L"execMethod Terminate"); });
            const auto lastAsk = std::find_if(e.rbegin(), e.rend(), [](const std::wstring& x) {
                return x.starts_with(L"askToClose ") || x.find(L" to close... ") != x.npos;
            });
            EXPECT_TRUE(terminate == e.end() || lastAsk.base() <= terminate);
            std::uint64_t waitedMs = 0;
            for (auto at = kill; at < terminate; ++at) {
                if (at->starts_with(L"sleep ")) waitedMs += std::stoul(at->substr(6));
            }
            EXPECT_LE(waitedMs, 60'000U);
            EXPECT_EQ(terminate != e.end(), !c.closeLine.empty() && !c.closeLine.ends_with(L"closed when asked"));
            if (!c.closeLine.empty()) {
                const std::vector<std::wstring> lines = logLines(h);
                EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                        [&](const std::wstring& l) { return l.ends_with(c.closeLine); }),
                          c.closeLine.ends_with(L"closed when asked") ? 6 : 1)
                    << narrow(c.closeLine);
            }
            EXPECT_EQ(h.platform.compactions.size(), c.exitCode == -1 ? 1U : 0U);
            // Whatever it stopped runs again, the dependents with it.
            for (const std::wstring& name : runningBefore)
                EXPECT_TRUE(h.platform.service(name)->running) << narrow(name);
            EXPECT_EQ(h.platform.messages.size(), !unattended && c.exitCode != -1 ? 1U : 0U);
            if (!c.said.empty()) {
                const std::vector<std::wstring> lines = logLines(h);
                EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::wstring& l) {
                    return l.starts_with(L"Message: " + c.said + L"\\r\\n\\r\\nThe run ended before any program");
                })) << narrow(c.said);
            }
            if (c.exitCode == -1) expectFinished(h.form, kAllThree);
        }
    }
}

// iisreset is started and left to run: its stop is awaited before the
// compaction (in steps, at most three minutes), its start before the check
// that the suite came back, which looks at IIS's web service too.
TEST(Run, IisIsAwaitedAndChecked) {
    struct Case {
        const char* label;
        std::uint32_t runMs;  // each iisreset's
        bool webServiceGone;
        std::size_t waits;
        const wchar_t* ended;  // how each iisreset's end is logged
    };
    const std::vector<Case> cases{
        {"done within the five steps", 100, false, 0, L"Ended with exit code 0"},
        {"stopping for 6 s", 6000, false, 7, L"Ended with exit code 0"},
        {"never done: three minutes at most", 1'000'000'000, false, 360, L"Still running, left to run on"},
        {"its web service not back", 100, true, 0, L"Ended with exit code 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h{kAllThree};
        h.platform.runTimesMs[L"iisreset"] = c.runMs;
        std::optional<bool> stoppedAtCompaction;
        h.platform.onPump = [&] {
            if (h.platform.compactions.empty() || stoppedAtCompaction) return;
            stoppedAtCompaction = h.platform.hasEnded(h.platform.launches.at(0).pid);
            if (c.webServiceGone) std::erase_if(h.platform.services, [](auto& s) { return s.name == L"W3SVC"; });
        };
        h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
        const std::vector<std::wstring> waits = h.log.only({L"lblStatus.Caption=Waiting for IIS to stop... "});
        ASSERT_EQ(waits.size(), c.waits);
        if (c.waits > 0) {
            EXPECT_EQ(waits.back(), L"lblStatus.Caption=Waiting for IIS to stop... " +
                                        std::to_wstring((c.waits - 1) / 2) + L" s of at most 180 s");
        }
        EXPECT_EQ(h.platform.launches.at(0).commandLine, L"iisreset /stop");
        EXPECT_EQ(stoppedAtCompaction, std::optional<bool>(c.waits < 360));  // IIS's stop over before the compaction
        const std::vector<std::wstring> lines = logLines(h);
        for (const wchar_t* verb : {L"stop", L"start"}) {
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                    [&](const std::wstring& l) {
                                        return l.starts_with(c.ended) &&
                                               l.ends_with(L"): iisreset /" + std::wstring(verb));
                                    }),
                      1);
        }
        EXPECT_EQ(h.log.count(L"launch 2 iisreset /start"), 1U);
        expectFinished(h.form, kAllThree, !c.webServiceGone);
        EXPECT_EQ(h.form.lblStatus.Caption().ends_with(
                      L"\r\nIIS is not running again: no service named \"W3SVC\" exists. Please start IIS manually."),
                  c.webServiceGone);
    }
}

// While the run works the buttons are gone, the bar shows and the close
// box is refused.
TEST(Run, RunningStateHidesTheButtonsAndRefusesTheCloseBox) {
    Harness h{Products{true, false, false}};
    std::vector<bool> closable;
    std::set<std::wstring> shutdownReasons;
    bool checked = false;
    h.platform.onPump = [&] {
        closable.push_back(h.form.QueryUnload());
        shutdownReasons.insert(h.platform.shutdownBlock);
        const car::frmCompactAndRepair& f = h.form;
        if (checked || f.lblStatus.Caption() != L"Stopping Admin 2") return;
        checked = true;
        // A session that ends all the same is in the log.
        h.form.raise(car::FormEvent::SessionEnd);
        EXPECT_FALSE(f.cmdCompact.Visible() || f.cmdCompact.Enabled());
        EXPECT_FALSE(f.cmdClose.Visible() || f.cmdClose.Enabled());
        EXPECT_FALSE(f.cmdOpenDataFolder.Visible());
        EXPECT_TRUE(f.prjProgress.Visible());
        EXPECT_FALSE(f.thline.Visible() || f.tpline.Visible() || f.qoline.Visible());
        EXPECT_TRUE(f.imgTH.Visible());
        EXPECT_FALSE(f.imgTP.Visible() || f.imgQO.Visible());
        EXPECT_FALSE(f.imgTick.Visible());
    };
    EXPECT_TRUE(h.form.QueryUnload());
    h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
    EXPECT_TRUE(checked);
    ASSERT_FALSE(closable.empty());
    EXPECT_EQ(std::count(closable.begin(), closable.end(), true), 0);
    EXPECT_TRUE(h.form.QueryUnload());
    // A logoff or shutdown is refused with the reason while the suite is down.
    EXPECT_EQ(shutdownReasons, std::set<std::wstring>{L"Compacting the suite's database; the suite is stopped"});
    EXPECT_EQ(h.platform.shutdownBlock, L"");
    const std::vector<std::wstring> lines = logLines(h);
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         L"The session is ending: Windows ends the program in the middle of the run"),
              1);
}

// An error in the run ends the program with the error's message; nothing
// that was stopped is started again. An engine that crashes mid-compaction is
// such an error in the run's own words, with the compaction's exit code.
TEST(Run, FailuresEndTheRunWithTheirMessageAndRestartNothing) {
    const car::Error wmi{car::hresult(0x80041003u), L"Access denied"};
    const car::Error noFile{car::kFileNotFoundHr, L"The system cannot find the file specified."};
    const car::Error denied{car::hresult(0x80070005u), L"Access is denied."};
    const car::Error crash{car::hresult(0xC0000005u), L"The JET engine ended unexpectedly while compacting " + kDbPath +
                                                          L" (exception 0xC0000005)."};
    struct Case {
        const char* label;
        std::function<void(FakePlatform&)> arrange;
        car::Error error;
        bool compacted;
        bool iisStopped;  // besides both services and the five programs, when anything was stopped
        int exitCode = car::kExitError;
        std::wstring logged = {};   // a line the log holds besides
        bool startedAgain = false;  // the database as it was: the suite started again before the box
    };
    const std::vector<Case> cases{
        {"WMI unavailable", [&](FakePlatform& p) { p.connectFailures.always = wmi; }, wmi, false, false},
        {"stop request fails", [&](FakePlatform& p) { p.methodFailures.nth[1] = wmi; }, wmi, false, false},
        {"out of memory", outOfMemoryAt(L"Stopping Admin"), outOfMemory, false, false},
        {"out of memory while granting", outOfMemoryAt(L"Setting Permissions...3"), outOfMemory, true, true},
        {"backup cannot be made",
         [&](FakePlatform& p) {
             p.hardLinks = false;
             p.moveFailures.always = denied;
         },
         denied,
         false,
         true,
         car::kExitError,
         {},
         true},
        {"engine crashes outside the job",
         [&](FakePlatform& p) {
             p.engineCrashCode = 0xC0000005u;
             p.engineUntied = denied;
         },
         crash, false, true, car::kExitCompactionFailed,
         L"The JET engine's process could not be put in this program's job (Error -2147024891: Access is denied.); "
         L"it ends itself should this program be ended",
         true},
        {"engine ends with a plain code",
         [](FakePlatform& p) { p.engineCrashCode = 1; },
         {1, L"The JET engine ended unexpectedly while compacting " + kDbPath + L" (exit code 1)."},
         false,
         true,
         car::kExitCompactionFailed,
         {},
         true},
    };
    const std::wstring stoppedText =
        L"This run stopped these, and they are still stopped:\r\n- the services Teamharbor\r\n"
        L"- the programs THService.exe, QMSSrv.exe, THAdmin.exe, TPAdmin.exe, QOAdmin.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h{kAllThree};
        c.arrange(h.platform);
        h.platform.guardedPath = kDbPath;
        EXPECT_THROW(h.form.RunEvent([&] { h.form.cmdCompact_Click(); }), EndSignal);
        ASSERT_EQ(h.platform.messages.size(), 1U);
        EXPECT_TRUE(showsError(h.platform.messages[0], c.error)) << narrow(h.platform.messages[0]);
        const std::vector<std::wstring> lines = logLines(h);
        ASSERT_GE(lines.size(), 2U);
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::wstring& l) {
            return l.starts_with(L"Message: Error " + std::to_wstring(c.error.number));
        }));
        if (!c.logged.empty()) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), c.logged), lines.end());
        }
        EXPECT_TRUE(lines.back().starts_with(L"Outcome: " +
                                             std::wstring(c.exitCode == car::kExitError
                                                              ? L"ended by an error"
                                                              : L"the database could not be compacted") +
                                             L"; exit code " + std::to_wstring(c.exitCode) + L"; after "))
            << narrow(lines.back());
        // What is left stopped is named, so that it can be started again.
        // With the database as it was, the suite is started again before the
        // box, which names only the administration programs.
        const bool anythingStopped = c.error.number != wmi.number;
        EXPECT_EQ(h.platform.messages[0].find(stoppedText) != std::wstring::npos, anythingStopped && !c.startedAgain);
        EXPECT_EQ(h.platform.messages[0].find(L"- IIS") != std::wstring::npos, c.iisStopped && !c.startedAgain);
        EXPECT_EQ(h.log.entries().back(), L"end " + std::to_wstring(c.exitCode));
        const std::vector<std::wstring> restarts{L"execMethod StartService Teamharbor",
                                                 L"launch 1 \"" + kTpFolder + L"\\QMSSrv.EXE\"",
                                                 L"launch 2 iisreset /start"};
        EXPECT_EQ(h.log.only({L"execMethod StartService", L"launch 1", L"launch 2 iisreset /start"}),
                  c.startedAgain ? restarts : std::vector<std::wstring>{});
        EXPECT_EQ(h.platform.files.at(kDbPath).compacted, c.compacted);
        EXPECT_EQ(h.platform.files.at(kDbPath).content, "old data");
        // Nothing is granted on a database that was not compacted, and an
        // unfinished copy is never swapped in.
        if (!c.compacted) {
            EXPECT_EQ(h.log.count(L"grantFullControl"), 0U);
            EXPECT_EQ(h.log.count(L"replaceFile"), 0U);
        }
        EXPECT_EQ(h.platform.guardedPathEmptyAt, std::vector<std::wstring>{});  // the database never left its name
        EXPECT_FALSE(h.form.cmdClose.Visible());
    }
}

// What stands under the compacted copy's name once the engine has ended is
// looked at through a hold before anything is renamed: anything but a plain
// file of one name on the database's volume (someone swapped it while the
// log, readable by all, named it) ends the run with the database unchanged
// under its name, and what the run stopped is started again.
TEST(Run, OnlyTheEnginesOwnCopyBecomesTheDatabase) {
    const std::vector<std::pair<std::wstring, std::function<void(FakePlatform&, const std::wstring&)>>> cases{
        {L"there is now a folder",
         [](FakePlatform& p, const std::wstring& copy) {
             p.files.erase(copy);
             p.files[copy + L"\\x"] = FakeFile{};
         }},
        {L"there is now a junction",
         [](FakePlatform& p, const std::wstring& copy) {
             p.files.erase(copy);
             p.files[copy + L"\\x"] = FakeFile{};
             p.reparsePoints.insert(copy);
         }},
        {L"there is now a symbolic link",
         [](FakePlatform& p, const std::wstring& copy) { p.reparsePoints.insert(copy); }},
        {L"there is now a file with 2 names",
         [](FakePlatform& p, const std::wstring& copy) { p.nameCounts[copy] = 2; }},
        {L"there is now a file on another volume",
         [](FakePlatform& p, const std::wstring& copy) { p.volumes[copy] = 7; }},
    };
    for (const auto& [words, swap] : cases) {
        SCOPED_TRACE(narrow(words));
        Harness h{kAllThree};
        h.platform.guardedPath = kDbPath;
        h.platform.onPump = [&p = h.platform, &swap] {
            if (p.compactions.size() != 1 || p.log().contains(L"holdFile")) return;
            const std::wstring& destination = p.compactions[0].second;
            const auto from = destination.find(L"Data Source=") + 12;
            swap(p, destination.substr(from, destination.find(L';', from) - from));
        };
        EXPECT_THROW(h.form.RunEvent([&] { h.form.cmdCompact_Click(); }), EndSignal);
        ASSERT_EQ(h.platform.messages.size(), 1U);
        EXPECT_NE(h.platform.messages[0].find(words), std::wstring::npos) << narrow(h.platform.messages[0]);
        EXPECT_NE(h.platform.messages[0].find(L"not the plain file the engine writes"), std::wstring::npos);
        EXPECT_EQ(h.log.entries().back(), L"end 1");
        EXPECT_EQ(h.platform.files.at(kDbPath).content, "old data");
        EXPECT_FALSE(h.platform.files.at(kDbPath).compacted);
        EXPECT_EQ(h.log.count(L"createHardLink") + h.log.count(L"rename ") + h.log.count(L"giveOwnerAndAccessList") +
                      h.log.count(L"grantFullControl"),
                  0U);
        EXPECT_EQ(
            h.log.only({L"execMethod StartService", L"launch 1", L"launch 2 iisreset /start"}),
            (std::vector<std::wstring>{L"execMethod StartService Teamharbor",
                                       L"launch 1 \"" + kTpFolder + L"\\QMSSrv.EXE\"", L"launch 2 iisreset /start"}));
        EXPECT_TRUE(h.platform.heldFiles.empty());
        EXPECT_EQ(h.platform.guardedPathEmptyAt, std::vector<std::wstring>{});
    }
}

TEST(Run, FailedCompactionEndsWithItsOwnMessageOnly) {
    Harness h{kAllThree};
    h.platform.compactFailures.always = car::Error{car::hresult(0x80004005u), L"Unspecified error"};
    EXPECT_THROW(h.form.RunEvent([&] { h.form.cmdCompact_Click(); }), EndSignal);
    ASSERT_EQ(h.platform.messages.size(), 1U);
    EXPECT_TRUE(h.platform.messages[0].starts_with(L"Could not compact and repair database."));
    // The database is as it was: the suite is started again first, and the
    // box comes once the run has let go of everything, with what is still
    // stopped (the administration programs, which the run never starts).
    EXPECT_NE(h.platform.messages[0].find(L"\r\n\r\nThe suite has been started again.\r\n\r\nThis run stopped these, "
                                          L"and they are still stopped:\r\n- the programs THAdmin.exe, TPAdmin.exe, "
                                          L"QOAdmin.exe\r\n"),
              std::wstring::npos);
    EXPECT_TRUE(h.platform.service(L"Teamharbor")->running);
    const auto tail = h.log.without({L"pathExists", L"serviceState", L"processesNamed", L"processImage", L"pump"});
    EXPECT_EQ(tail[tail.size() - 3], L"setShutdownBlock ");
    EXPECT_EQ(tail.back(), L"end 3");
    EXPECT_EQ(h.log.count(L"grantFullControl"), 0U);
    EXPECT_EQ(h.form.BackupPath(), L"");
    EXPECT_EQ(h.platform.files.at(kDbPath).content, "old data");
}

// A server that cannot be restarted is reported, and the run still ends in
// the Finished window.
TEST(Run, FailedRestartIsShownAndTheRunFinishes) {
    Harness h;
    h.install(kAllThree);
    h.platform.failRead(kThKey + L"Setup\\Folder",
                        {car::kFileNotFoundHr, FakePlatform::missingWording(kThKey + L"Setup\\Folder")});
    h.platform.files.erase(kTpFolder + L"\\QMSSrv.EXE");
    h.start();
    h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
    EXPECT_EQ(
        h.platform.messages,
        (std::vector<std::wstring>{L"Could not start Teamharbor, please start Teamharbor manually",
                                   L"Could not start Quorvin Mail Server, please start Quorvin Mail Server manually"}));
    EXPECT_TRUE(h.log.contains(L"launch 2 iisreset /start"));
    EXPECT_FALSE(h.log.count(L"end ") > 0);
    // The suite is not all back: no tick, and the text says which product.
    expectFinished(h.form, kAllThree, false);
    const std::wstring complete =
        L"Compact and repair complete.\r\nThe old database has been backed up to: " + h.form.BackupPath();
    EXPECT_EQ(h.form.lblStatus.Caption(),
              complete +
                  L"\r\nTeamharbor is not running again: it could not be started. Please start Teamharbor manually."
                  L"\r\nQuorvin Mail Server is not running again: it could not be started. Please start Quorvin Mail "
                  L"Server manually.");

    // A service that is gone after the run is found missing, without a message.
    Harness g{Products{true, false, false}};
    g.platform.onPump = [&] {
        if (g.form.lblStatus.Caption() == L"Starting Services...") g.platform.services.clear();
    };
    g.form.RunEvent([&] { g.form.cmdCompact_Click(); });
    EXPECT_TRUE(g.platform.messages.empty());
    expectFinished(g.form, {true, false, false}, false);
    EXPECT_TRUE(g.form.lblStatus.Caption().ends_with(
        L"\r\nTeamharbor is not running again: no service named \"Teamharbor\" exists. Please start Teamharbor "
        L"manually."));

    // "Already running" from a service that does not run is no start.
    Harness r{Products{true, false, false}};
    r.platform.services[0].startRefusal = 10;
    r.form.RunEvent([&] { r.form.cmdCompact_Click(); });
    EXPECT_EQ(r.platform.messages,
              std::vector<std::wstring>{L"Could not start Teamharbor, please start Teamharbor manually"});
    EXPECT_FALSE(r.platform.service(L"Teamharbor")->running);
    expectFinished(r.form, {true, false, false}, false);
}

// Whatever can be known to make the run fail is found before anything is
// stopped: one message, and the window stays Ready for another press once
// the cause is mended.
TEST(RunChecks, EachFailingCheckStopsNothingAndLeavesTheWindowReady) {
    const car::Error classMissing{car::hresult(0x800401F3u), L"Invalid class string"};
    struct Case {
        const char* label;
        std::function<void(Harness&)> arrange;
        std::wstring named;  // the file or folder the message names
        std::function<void(Harness&)> mend;
    };
    const std::wstring folder = L"D:\\Quorvin Data\\";
    const std::vector<Case> cases{
        {"database missing", [](Harness& h) { h.platform.files.erase(kDbPath); }, kDbPath,
         [](Harness& h) {
             h.platform.files[kDbPath] = FakeFile{"old data", false};
         }},
        {"path names a folder",
         [](Harness& h) {
             h.platform.files.erase(kDbPath);
             h.platform.files[kDbPath + L"\\x.mdb"] = FakeFile{};
         },
         kDbPath, nullptr},
        {"double quote in the path", [](Harness& h) { h.form.txtDBPath.setCaption(L"D:\\a\".mdb"); }, L"D:\\a\".mdb",
         nullptr},
        {"too little free space", [](Harness& h) { h.platform.freeBytes = 7; }, folder,
         [](Harness& h) { h.platform.freeBytes = 8; }},
        {"free space cannot be read",
         [](Harness& h) {
             h.platform.freeSpaceFailures.nth[1] = {car::hresult(0x80070035u), L"Network path not found"};
         },
         folder, [](Harness&) {}},
        {"every temporary name taken",
         [](Harness& h) {
             for (int n = 0; n < 900; ++n) h.platform.files[kDbPath + L"." + std::to_wstring(n) + L".tmp"] = FakeFile{};
         },
         folder, [](Harness& h) { h.platform.files.erase(kDbPath + L".417.tmp"); }},
        {"no JET engine", [&](Harness& h) { h.platform.jetCreateFailures.nth[1] = classMissing; }, L"Jro.JetEngine",
         [](Harness&) {}},
        {"no iisreset for the Organizer", [](Harness& h) { h.platform.removeSystemProgram(L"iisreset"); },
         kSystemFolders.nativeSystem + L"\\iisreset.exe",
         [](Harness& h) { h.platform.systemPrograms.insert(kSystemFolders.nativeSystem + L"\\iisreset.exe"); }},
        {"another run in progress", [](Harness& h) { h.platform.lockTakenElsewhere = true; },
         L"Another run of Compact And Repair is in progress",
         [](Harness& h) { h.platform.lockTakenElsewhere = false; }},
        {"semicolon in the path",
         [](Harness& h) {
             h.platform.files[L"D:\\a;b\\suite.mdb"] = FakeFile{};
             h.form.txtDBPath.setCaption(L"D:\\a;b\\suite.mdb");
         },
         L"D:\\a;b\\suite.mdb", nullptr},
        {"database is a symbolic link", [](Harness& h) { h.platform.reparsePoints.insert(kDbPath); }, kDbPath,
         [](Harness& h) { h.platform.reparsePoints.clear(); }},
        {"data folder is a junction", [&](Harness& h) { h.platform.reparsePoints.insert(folder); }, folder,
         [&](Harness& h) {
             // A data volume mounted into the folder is a healthy layout.
             h.platform.reparseKinds[folder] = car::ReparseKind::VolumeMountPoint;
         }},
        {"no private namespaces, the lock's name held by a user",
         [](Harness& h) {
             h.platform.privateNamespaces = false;
             h.platform.foreignLockOwner = L"SRV01\\mallory";
         },
         L"is held by SRV01\\mallory, an account that is neither SYSTEM nor an administrator",
         [](Harness& h) { h.platform.foreignLockOwner.clear(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h{kAllThree};
        c.arrange(h);
        h.log.clear();
        h.form.RunEvent([&] { h.form.cmdCompact_Click(); });

        ASSERT_EQ(h.platform.messages.size(), 1U);
        const std::wstring& message = h.platform.messages[0];
        EXPECT_TRUE(message.ends_with(L"Nothing was stopped.")) << narrow(message);
        EXPECT_NE(message.find(c.named), std::wstring::npos) << narrow(message);
        EXPECT_EQ(h.log.only({L"connectWmi", L"launch", L"compactDatabase", L"moveFile", L"end", L"lblStatus"}),
                  std::vector<std::wstring>{});
        EXPECT_EQ(h.platform.processes.size(), 7U);  // every program of the suite still runs
        EXPECT_TRUE(h.platform.service(L"Teamharbor")->running);
        EXPECT_TRUE(h.form.cmdCompact.Visible() && h.form.cmdCompact.Enabled());
        EXPECT_TRUE(h.form.cmdClose.Visible() && h.form.cmdClose.Enabled());
        EXPECT_EQ(h.form.cmdClose.Caption(), L"Cancel");
        EXPECT_EQ(h.form.lblStatus.Caption(), car::kReadyStatus);
        EXPECT_TRUE(h.form.QueryUnload());
        EXPECT_EQ(h.platform.locksHeld, 0);
        EXPECT_TRUE(h.platform.heldFolders.empty());
        EXPECT_EQ(h.platform.heldAtBoxes, std::vector<int>{0});  // nothing held while the box waits

        // "/check" finds the same, says it with the suite's state, and ends
        // with the refused check's code; on a good server, with 0. Nothing is
        // stopped.
        for (const bool good : {false, true}) {
            if (good && &c != &cases.back()) break;
            Harness g;
            g.install(kAllThree);
            g.form.ApplyArguments({L"/check"});
            g.start();
            if (!good) c.arrange(g);
            try {
                g.form.RunEvent([&] { g.form.RunCheck(); });
                ADD_FAILURE() << "the check went on";
            } catch (const EndSignal& end) {
                EXPECT_EQ(end.exitCode, good ? car::kExitLeft : car::kExitRefused);
            }
            ASSERT_EQ(g.platform.messages.size(), 1U);
            EXPECT_EQ(g.platform.messages[0].starts_with(L"A run could start now"), good);
            EXPECT_EQ(g.platform.messages[0].find(c.named) != std::wstring::npos, !good) << narrow(c.named);
            EXPECT_TRUE(g.platform.messages[0].ends_with(
                L"\r\n\r\nTeamharbor: installed, running\r\nQuorvin Mail Server: installed, running\r\n"
                L"Quorvin Organizer: installed, IIS's web service running"))
                << narrow(g.platform.messages[0]);
            EXPECT_EQ(g.log.only({L"execMethod", L"launch", L"compactDatabase", L"moveFile", L"lblStatus"}),
                      std::vector<std::wstring>{});
            EXPECT_EQ(g.platform.heldAtBoxes, std::vector<int>{0});
            // A check is no run; beside a run in progress it writes one line.
            const std::vector<std::wstring> lines = logLines(g);
            if (g.form.txtDBPath.Caption() != kDbPath) continue;  // its log is elsewhere
            ASSERT_FALSE(lines.empty());
            const bool lockRefused = g.platform.lockTakenElsewhere || !g.platform.foreignLockOwner.empty();
            EXPECT_TRUE(lockRefused ? lines.size() == 1 && lines[0].starts_with(L"Refused (pid 4242)")
                                    : lines[0].ends_with(L", check only (pid 4242)"))
                << narrow(lines[0]);
        }

        if (!c.mend) continue;
        c.mend(h);
        h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
        EXPECT_EQ(h.platform.messages.size(), 1U);
        EXPECT_EQ(h.platform.compactions.size(), 1U);
        expectFinished(h.form, kAllThree);
    }
}

// A second click, or Enter held down, lands in the run's first pumps while
// the button still shows: it must start nothing.
TEST(Run, ClicksDuringTheRunStartNothing) {
    Harness h{kAllThree};
    int clicks = 0;
    h.platform.onPump = [&] {
        ++clicks;
        h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
    };
    h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
    EXPECT_GT(clicks, 60);
    EXPECT_EQ(h.platform.compactions.size(), 1U);
    EXPECT_EQ(h.log.count(L"grantFullControl"), 10U);
    EXPECT_EQ(h.log.count(L"execMethod StopService"), 2U);
    EXPECT_TRUE(h.platform.messages.empty());
    expectFinished(h.form, kAllThree);
}

// Without a person nothing waits on a box: every message goes to the log,
// the exit code says how the run ended, and a failure after something was
// stopped starts the suite again first.
// Two user tables and four that are not the user's (a system, a hidden, a
// linked and a temporary one), as DAO lists them; `change` is what the
// engine's repair does to the copy's (its stored counts, and the rows a
// count finds).
void tablesThatTheEngine(
    FakePlatform& p,
    const std::function<void(std::vector<car::TableFacts>&, std::map<std::wstring, std::int64_t>&)>& change) {
    p.daoFiles[kDbPath] = {
        {L"Contacts", 0, 120}, {L"Notes", 0, 30},          {L"MSysObjects", car::hresult(0x80000002u), 40},
        {L"Hidden", 1, 2},     {L"Linked", 0x40000000, 9}, {L"~TMPCLP1", 0, 3}};
    p.compactionChanges = change;
}

// The copy's stored count of Contacts one lower; the rows a count finds,
// one lower too when `counted`, else as before (a stale count corrected).
void oneContactFewer(FakePlatform& p, bool counted) {
    tablesThatTheEngine(p, [counted](auto& tables, auto& rows) {
        tables[0].rowCount = 119;
        rows[L"Contacts"] = counted ? 119 : 120;
    });
}

TEST(Unattended, EndsByItselfWithTheRunsExitCodeAndNeverShowsABox) {
    const car::Error failure{car::hresult(0x80004005u), L"Unspecified error"};
    struct Case {
        const char* label;
        std::function<void(FakePlatform&)> arrange;
        int exitCode;
        bool restarted;               // the suite was stopped and started again, IIS with it
        std::size_t mailServers = 1;  // copies of its program running at the end: never a second one started
        std::wstring message = {};    // how the log starts the run's message, if it has one
    };
    const std::vector<Case> cases{
        {"finished", [](FakePlatform&) {}, car::kExitLeft, true},
        {"database missing", [](FakePlatform& p) { p.files.erase(kDbPath); }, car::kExitRefused, false, 2},
        {"mail server not back", [](FakePlatform& p) { p.files.erase(kTpFolder + L"\\QMSSrv.EXE"); },
         car::kExitNotAllBack, true, 0},
        {"Teamharbor not back",
         [](FakePlatform& p) {
             p.onPump = [&p] {
                 if (p.log().contains(L"lblStatus.Caption=Setting Permissions...9")) p.services[0].refusal = 2;
             };
         },
         car::kExitNotAllBack, true},
        {"failure before the mail server was stopped", [&](FakePlatform& p) { p.methodFailures.nth[2] = failure; },
         car::kExitError, false, 2},
        {"Teamharbor's key unreadable at the end",
         [&](FakePlatform& p) {
             p.onPump = [&p, failure] {
                 if (!p.compactions.empty()) p.failRead(kThKey, failure);
             };
         },
         car::kExitLeft, true},
        {"compaction fails", [&](FakePlatform& p) { p.compactFailures.always = failure; }, car::kExitCompactionFailed,
         true, 1, L"Message: Could not compact and repair database. "},
        {"engine crashes", [](FakePlatform& p) { p.engineCrashCode = 0xC0000005u; }, car::kExitCompactionFailed, true,
         1,
         L"Message: Error -1073741819 (0xC0000005)\\r\\n\\r\\nThe JET engine ended unexpectedly while compacting " +
             kDbPath + L" (exception 0xC0000005).\\r\\n\\r\\nThis run stopped these, and they are still stopped:"},
        {"error mid-run", outOfMemoryAt(L"Setting Permissions...3"), car::kExitError, true},
        {"log not writable", [&](FakePlatform& p) { p.appendFailures.always = failure; }, car::kExitLogNotWritten,
         true},
        {"log is a symbolic link", [](FakePlatform& p) { p.reparsePoints.insert(kDbPath + L".log"); },
         car::kExitLogNotWritten, true},
        {"log has a second name elsewhere", [](FakePlatform& p) { p.nameCounts[kDbPath + L".log"] = 2; },
         car::kExitLogNotWritten, true},
        {"log busy for a moment",
         [](FakePlatform& p) {
             const car::Error busy{car::kSharingViolationHr, L"Sharing violation."};
             p.openAppendFailures.nth[1] = busy;
             for (int n = 5; n < 24; ++n) p.appendFailures.nth[n] = busy;  // just under a second
         },
         car::kExitLeft, true},
        {"another run in progress", [](FakePlatform& p) { p.lockTakenElsewhere = true; }, car::kExitRefused, false, 2},
        {"the lock cannot be made", [&](FakePlatform& p) { p.lockFailures.always = failure; }, car::kExitRefused, false,
         2},
        {"the engine past its limit", [](FakePlatform& p) { p.engineRunMs = 1'000'000'000; },
         car::kExitCompactionFailed, true, 1,
         L"Message: Error -2147023436 (0x800705B4)\\r\\n\\r\\nThe JET engine did not finish compacting " + kDbPath +
             L" within 10 minutes and was ended. The database is unchanged."},
        // The request went through, but its answer never came.
        {"WMI times out at a stop",
         [](FakePlatform& p) {
             p.services[0].running = false;
             p.methodFailures.nth[1] = {car::kWmiTimeoutHr, L"WMI did not answer StopService within two minutes."};
         },
         car::kExitError, false, 2},
        {"WMI times out at a start",
         [](FakePlatform& p) {
             // The two stops, then the first start (the programs closed when asked).
             p.methodFailures.nth[3] = {car::kWmiTimeoutHr, L"WMI did not answer StartService within two minutes."};
         },
         car::kExitLeft, true, 1, L"Started Teamharbor through the service control manager: WMI does not answer"},
        // The compacted copy is checked against the original through DAO.
        {"the copy one row fewer", [](FakePlatform& p) { oneContactFewer(p, true); }, car::kExitCopyLostData, true, 1,
         L"Message: The compacted copy of the database lacked data that the database holds:\\r\\n- the table "
         L"[Contacts]: 120 rows before, 119 after"},
        {"a stale count corrected", [](FakePlatform& p) { oneContactFewer(p, false); }, car::kExitLeft, true},
        {"only tables that are not the user's gone",
         [](FakePlatform& p) { tablesThatTheEngine(p, [](auto& tables, auto&) { tables.resize(2); }); }, car::kExitLeft,
         true},
        {"a table gone from the copy",
         [](FakePlatform& p) { tablesThatTheEngine(p, [](auto& tables, auto&) { tables.erase(tables.begin() + 1); }); },
         car::kExitCopyLostData, true, 1,
         L"Message: The compacted copy of the database lacked data that the database holds:\\r\\n- the table "
         L"[Notes] (30 rows) is missing"},
        {"the engine's notes in the copy",
         [](FakePlatform& p) {
             tablesThatTheEngine(p, [](auto& tables, auto&) { tables.push_back({L"MSysCompactError", 0, 2}); });
         },
         car::kExitCopyLostData, true, 1,
         L"Message: The compacted copy of the database lacked data that the database holds:\\r\\n- MSysCompactError: "
         L"the engine noted 2 rows it could not keep"},
        {"a database only the engine could read",
         [](FakePlatform& p) {
             tablesThatTheEngine(p, [](auto&, auto&) {});
             p.daoRefuses[kDbPath] = {3343, L"Unrecognized database format."};
         },
         car::kExitRepaired, true},
        {"a copy DAO cannot open",
         [](FakePlatform& p) {
             tablesThatTheEngine(p, [](auto&, auto&) {});
             p.daoRefusesCopy = car::Error{3343, L"Unrecognized database format."};
         },
         car::kExitCompactionFailed, true, 1, L"Message: Could not compact and repair database. "},
        {"no DAO on the server",
         [](FakePlatform& p) {
             tablesThatTheEngine(p, [](auto& tables, auto&) { tables.clear(); });
             p.daoInstalled = false;
         },
         car::kExitLeft, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.install(kAllThree);
        h.form.ApplyArguments({L"/UNATTENDED"});
        h.start();
        c.arrange(h.platform);
        int exitCode = -1;
        try {
            h.form.RunEvent([&] { h.form.RunUnattended(); });
        } catch (const EndSignal& end) {
            exitCode = end.exitCode;
        }
        EXPECT_EQ(exitCode, c.exitCode);
        EXPECT_TRUE(h.platform.messages.empty());
        EXPECT_EQ(h.platform.service(L"Teamharbor")->running, c.label != std::string("Teamharbor not back"));
        EXPECT_EQ(h.log.count(L"launch 2 iisreset /start"), c.restarted ? 1U : 0U);
        EXPECT_EQ(std::count_if(h.platform.processes.begin(), h.platform.processes.end(),
                                [](const FakeProcess& p) { return car::lowerCase(p.name) == L"qmssrv.exe"; }),
                  static_cast<std::ptrdiff_t>(c.mailServers));
        EXPECT_EQ(h.platform.openAppendFiles, 0);
        // A copy that lacks data never takes the database's name: it stays
        // beside it, under a name that says what it is.
        const bool kept = std::any_of(h.platform.files.begin(), h.platform.files.end(),
                                      [](const auto& file) { return file.first.ends_with(L".tmpIncomplete"); });
        EXPECT_EQ(kept, c.exitCode == car::kExitCopyLostData);
        if (kept || c.exitCode == car::kExitRepaired) {
            EXPECT_EQ(h.platform.files.at(kDbPath).compacted, !kept);
        }
        // One event for the monitoring: information when all is well, a
        // warning for a product not back or a refused run, else an error.
        ASSERT_EQ(h.platform.events.size(), 1U);
        const bool warning = c.exitCode == car::kExitNotAllBack || c.exitCode == car::kExitRefused ||
                             c.exitCode == car::kExitCopyLostData || c.exitCode == car::kExitRepaired;
        const car::EventKind kind = c.exitCode == car::kExitLeft ? car::EventKind::Information
                                    : warning                    ? car::EventKind::Warning
                                                                 : car::EventKind::Error;
        EXPECT_EQ(h.platform.events[0].first, kind);
        // Its figures as fields of their own, for a collector to filter on.
        const std::vector<std::wstring>& fields = h.platform.events[0].second;
        ASSERT_EQ(fields.size(), 9U);
        EXPECT_EQ(fields[1], std::to_wstring(c.exitCode));
        EXPECT_EQ(fields[2], kDbPath);
        EXPECT_EQ(fields[8], kDbPath + L".log");
        const bool swapped = h.platform.files.contains(kDbPath) && h.platform.files.at(kDbPath).compacted;
        EXPECT_EQ(fields[3].empty(), !swapped) << narrow(fields[3]);
        EXPECT_EQ(fields[5].empty(), !swapped);
        // The suite's down time is there whenever it was stopped and looked for again.
        if (c.restarted || c.exitCode == car::kExitRefused) {
            EXPECT_EQ(fields[6].empty(), !c.restarted) << narrow(fields[6]);
        }
        const std::vector<std::wstring> lines = logLines(h);
        if (c.exitCode == car::kExitLogNotWritten) {
            EXPECT_TRUE(lines.empty());
            continue;
        }
        if (h.platform.lockTakenElsewhere || h.platform.lockFailures.always) {
            // Nothing that could be taken for a run in the running run's log.
            ASSERT_EQ(lines.size(), 1U);
            EXPECT_TRUE(lines[0].starts_with(L"Refused (pid 4242): ") && lines[0].ends_with(L"; nothing was stopped"));
            continue;
        }
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines.front().ends_with(L", unattended (pid 4242)"));
        EXPECT_NE(lines.back().find(L"; exit code " + std::to_wstring(c.exitCode) + L"; "), std::wstring::npos)
            << narrow(lines.back());
        if (c.message.empty()) continue;
        const auto logged = std::find_if(lines.begin(), lines.end(),
                                         [&](const std::wstring& line) { return line.starts_with(c.message); });
        ASSERT_NE(logged, lines.end()) << narrow(c.message);
        // Told before the suite is started again, so that the log reads in order.
        EXPECT_LT(logged - lines.begin(),
                  std::find(lines.begin(), lines.end(), L"Starting again what this run stopped") - lines.begin());
    }
}

// With a person at the window, a copy that lacks data is used only on a Yes
// to a box that names what it lacks (No the default); on No the database
// stays as it was, the copy is kept beside it, and the window says which
// file is the database now.
TEST(Run, ACopyThatLacksDataIsUsedOnlyWhenThePersonSaysSo) {
    for (const auto& [yes, nobody] : {std::pair{true, false}, {false, false}, {false, true}}) {
        SCOPED_TRACE(yes ? "Yes" : nobody ? "nobody answers" : "No");
        Harness h{kAllThree};
        oneContactFewer(h.platform, true);
        h.platform.answerYes = yes;
        h.platform.nobodyAnswers = nobody;
        h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
        ASSERT_EQ(h.platform.questions.size(), 1U);
        // The suite is down while it waits: after ten minutes No is taken, and said.
        EXPECT_EQ(h.platform.questionLimits, std::vector<std::uint32_t>{600'000});
        const std::vector<std::wstring> lines = logLines(h);
        EXPECT_EQ(
            std::count(lines.begin(), lines.end(), L"No answer within 10 minutes: No, keep the database as it is"),
            nobody ? 1 : 0);
        EXPECT_TRUE(h.log.contains(L"askYesNo, No by default"));
        EXPECT_NE(h.platform.questions[0].find(L"- the table [Contacts]: 120 rows before, 119 after"),
                  std::wstring::npos);
        EXPECT_EQ(h.platform.files.at(kDbPath).compacted, yes);
        EXPECT_EQ(h.form.BackupPath().empty(), !yes);
        const std::wstring status = h.form.lblStatus.Caption();
        EXPECT_EQ(status.starts_with(L"The compacted copy lacked data, so it was not used."), !yes) << narrow(status);
        EXPECT_EQ(h.form.imgTick.Visible(), yes);
        // The grants, and the suite back, either way.
        EXPECT_EQ(h.log.count(L"grantFullControl D:\\Quorvin Data <- "), 4U);
        EXPECT_TRUE(h.platform.service(L"Teamharbor")->running);
    }
    // A repair asks nothing and says what the repaired database holds; a copy
    // DAO cannot open ends the run in the compaction's own words, removed.
    for (const bool repaired : {true, false}) {
        Harness h{kAllThree};
        tablesThatTheEngine(h.platform, [](auto&, auto&) {});
        if (repaired) h.platform.daoRefuses[kDbPath] = {3343, L"Unrecognized database format."};
        if (!repaired) h.platform.daoRefusesCopy = car::Error{3343, L"Unrecognized database format."};
        int exitCode = -1;
        try {
            h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
        } catch (const EndSignal& end) {
            exitCode = end.exitCode;
        }
        EXPECT_TRUE(h.platform.questions.empty());
        EXPECT_EQ(exitCode, repaired ? -1 : car::kExitCompactionFailed);
        EXPECT_EQ(h.platform.files.at(kDbPath).compacted, repaired);
        if (repaired) {
            EXPECT_NE(h.form.lblStatus.Caption().find(L"the repaired database holds:\r\n- [Contacts] 120 rows"),
                      std::wstring::npos);
            continue;
        }
        ASSERT_EQ(h.platform.messages.size(), 1U);
        EXPECT_NE(h.platform.messages[0].find(L"Could not compact and repair database. Please try and compact and "
                                              L"repair the database using the Manual Method described in the FAQ\r\n"
                                              L"Error was: 3343, Unrecognized database format."),
                  std::wstring::npos);
        EXPECT_EQ(std::count_if(h.platform.files.begin(), h.platform.files.end(),
                                [](const auto& file) { return file.first.ends_with(L".tmp"); }),
                  0);
    }
}

// A WMI that stops answering ends the run after its limit; the restart then
// asks the service control manager and never WMI again.
TEST(Unattended, WmiThatStopsAnsweringIsNotAskedAgain) {
    Harness h;
    h.install(kAllThree);
    h.form.ApplyArguments({L"/unattended"});
    h.start();
    // Programs that cannot be asked to close are ended at once: the first's is the third call.
    for (FakeProcess& p : h.platform.processes) p.whenAsked = WhenAsked::CannotBeAsked;
    h.platform.methodFailures.nth[3] = {car::kWmiTimeoutHr, L"WMI did not answer Terminate within two minutes."};
    EXPECT_THROW(h.form.RunEvent([&] { h.form.RunUnattended(); }), EndSignal);
    const std::vector<std::wstring>& e = h.log.entries();
    const auto restart = std::find(e.begin(), e.end(), L"startServiceDirectly Teamharbor");
    ASSERT_NE(restart, e.end());
    EXPECT_EQ(std::count_if(restart, e.end(), [](const std::wstring& x) { return x.starts_with(L"connectWmi"); }), 0);
    EXPECT_TRUE(h.platform.service(L"Teamharbor")->running);
    EXPECT_EQ(e.back(), L"end 1");
    const std::vector<std::wstring> lines = logLines(h);
    EXPECT_TRUE(std::find(lines.begin(), lines.end(),
                          L"Started Teamharbor through the service control manager: WMI does not answer") !=
                lines.end());
}

// With "/keep:N" the oldest backups of this database go after a run that
// finished, until N remain with this run's; nothing else beside it is touched,
// and a backup that cannot be deleted is only logged.
TEST(Unattended, KeepsTheNewestBackupsOfThisDatabase) {
    for (const bool deletable : {true, false}) {
        SCOPED_TRACE(deletable ? "deletable" : "one cannot be deleted");
        Harness h;
        h.install(kAllThree);
        h.form.ApplyArguments({L"/unattended", L"/KEEP:3"});
        h.start();
        const std::wstring db = kDbPath;
        // Named by their age: the higher, the newer.
        for (const auto& [name, age] :
             std::vector<std::pair<std::wstring, int>>{{db + L".5.tmpBackup", 1},
                                                       {db + L".700.tmpBackup", 4},
                                                       {db + L".12.tmpBackup", 3},
                                                       {db + L".899.tmpBackup", 2},
                                                       {L"D:\\Quorvin Data\\other.mdb.1.tmpBackup", 0},
                                                       {db + L".0999.tmpBackup", 0},
                                                       {db + L".1.tmpBackupx", 0},
                                                       {db + L".3.tmp", 0}}) {
            h.platform.files[name] = FakeFile{"old", false, static_cast<std::uint64_t>(age)};
        }
        if (!deletable) h.platform.deleteFailures.nth[1] = {car::kAccessDeniedHr, L"Access is denied."};
        int exitCode = -1;
        try {
            h.form.RunEvent([&] { h.form.RunUnattended(); });
        } catch (const EndSignal& end) {
            exitCode = end.exitCode;
        }
        EXPECT_EQ(exitCode, car::kExitLeft);
        std::set<std::wstring> left;
        for (const auto& [path, file] : h.platform.files) left.insert(path);
        const std::set<std::wstring> kept{db,
                                          h.form.BackupPath(),
                                          db + L".700.tmpBackup",
                                          db + L".12.tmpBackup",
                                          L"D:\\Quorvin Data\\other.mdb.1.tmpBackup",
                                          db + L".0999.tmpBackup",
                                          db + L".1.tmpBackupx",
                                          db + L".3.tmp"};
        std::set<std::wstring> want = kept;
        if (!deletable) want.insert(db + L".5.tmpBackup");  // the oldest, whose deletion failed
        EXPECT_TRUE(std::includes(left.begin(), left.end(), want.begin(), want.end()));
        EXPECT_EQ(left.contains(db + L".5.tmpBackup"), !deletable);
        EXPECT_FALSE(left.contains(db + L".899.tmpBackup"));
        const std::vector<std::wstring> lines = logLines(h);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), L"Deleted the old backup " + db + L".899.tmpBackup"), 1);
        EXPECT_EQ(
            std::count_if(lines.begin(), lines.end(),
                          [&](const std::wstring& l) {
                              return l.starts_with(L"The old backup " + db + L".5.tmpBackup could not be deleted");
                          }),
            deletable ? 0 : 1);
    }
}

TEST(Unattended, ArgumentsAreCheckedBeforeAnythingElse) {
    struct Case {
        std::vector<std::wstring> arguments;
        int exitCode;
        std::wstring boxStart;  // empty: no box
    };
    const std::vector<Case> cases{
        {{L"/?"}, car::kExitLeft, L"Usage: CompactAndRepair.exe [/unattended]"},
        {{L"/unatended"}, car::kExitBadArgument, L"Unknown argument: /unatended\r\n\r\nUsage: "},
        {{L"/unattended", L"now"}, car::kExitBadArgument, L""},
        {{L"/?", L"/Unattended"}, car::kExitLeft, L""},
        {{L"/keep:0"}, car::kExitBadArgument, L"Unknown argument: /keep:0\r\n"},
        {{L"/unattended", L"/keep:100"}, car::kExitBadArgument, L""},
        {{L"/keep:3", L"/keep:x"}, car::kExitBadArgument, L"Unknown argument: /keep:x\r\n"},
    };
    for (const Case& c : cases) {
        Harness h;
        try {
            h.form.ApplyArguments(c.arguments);
            ADD_FAILURE() << "the program went on";
        } catch (const EndSignal& end) {
            EXPECT_EQ(end.exitCode, c.exitCode);
        }
        EXPECT_EQ(h.platform.messages.size(), c.boxStart.empty() ? 0U : 1U);
        if (!c.boxStart.empty() && !h.platform.messages.empty()) {
            EXPECT_TRUE(h.platform.messages[0].starts_with(c.boxStart)) << narrow(h.platform.messages[0]);
        }
        EXPECT_EQ(h.log.only({L"regRead", L"connectWmi", L"launch"}), std::vector<std::wstring>{});
    }
}

}  // namespace
}  // namespace cartest

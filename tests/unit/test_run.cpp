// The maintenance run from the button press to the Finished window.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <regex>

#include "harness.h"
#include "sequence.h"
#include "ui/layout.h"

namespace cartest {
namespace {

const std::wstring kProcessQuery = L"SELECT * FROM Win32_Process WHERE Name = '";
const std::wstring kServiceQuery = L"Select * from Win32_Service Where Name ='";

// What the run must do on the installation `h.install(products)` made,
// written out step by step.
class RunScript {
public:
    RunScript(const Harness& h, Products products) : h_(h), p_(products) {}

    Expected build(const std::wstring& backup) {
        const std::wstring temp = backup.substr(0, backup.size() - 6);
        // The checks before anything is stopped (the search for a free
        // temporary name aside).
        e_.hostLookup().add(L"pathInfo " + kDbPath).add(L"freeSpace D:\\Quorvin Data\\").add(L"createJetEngine");
        e_.set(L"lblStatus2", L"Visible", L"1");
        e_.set(L"thline", L"Visible", L"0").set(L"tpline", L"Visible", L"0").set(L"qoline", L"Visible", L"0");
        e_.keyProbe(kThKey);
        if (!p_.teamharbor) e_.set(L"imgTH", L"Visible", L"0");
        e_.keyProbe(kTpKey);
        if (!p_.mailServer) e_.set(L"imgTP", L"Visible", L"0");
        e_.keyProbe(kQoKey);
        if (!p_.organizer) e_.set(L"imgQO", L"Visible", L"0");
        e_.step().status(L"Going to Kill Processes").set(L"prjProgress", L"Visible", L"1");
        e_.set(L"cmdCompact", L"Visible", L"0").set(L"cmdClose", L"Visible", L"0").add(L"pump");
        e_.set(L"cmdCompact", L"Enabled", L"0").set(L"cmdClose", L"Enabled", L"0").value(0).step();

        e_.status(L"Stopping Services");
        service(L"Teamharbor", L"StopService");
        e_.add(L"pump");
        service(L"Quorvin Mail Server", L"StopService");
        for (int i = 1; i <= 3; ++i) e_.status(L"Stopping Services " + std::to_wstring(i)).step().add(L"pump");
        kill(L"THService.exe");
        kill(L"QMSSrv.exe");
        e_.step().status(L"Stopping Admin");
        for (const wchar_t* admin : {L"THAdmin.exe", L"TPAdmin.exe", L"QOAdmin.exe"}) kill(admin);
        for (int i = 1; i <= 3; ++i) e_.status(L"Stopping Admin " + std::to_wstring(i)).step().add(L"pump");
        e_.keyProbe(kQoKey);
        if (p_.organizer) {
            e_.status(L"Stopping IIS").add(L"launch 2 iisreset /stop");
            for (int i = 1; i <= 5; ++i) {
                e_.step().add(L"pump").status(L"Stopping IIS (Waiting..." + std::to_wstring(i) + L")");
            }
        }
        e_.value(1).step().step();

        e_.status(L"About to compact and repair database...").add(L"pump").step();
        e_.status(L"Compacting and repairing database...");
        e_.step().add(L"createJetEngine").add(L"fileInUse " + kDbPath).add(L"pathInfo " + kDbPath);
        e_.add(L"compactDatabase Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + kDbPath +
               L";Jet OLEDB:Database Password= | Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + temp +
               L";Jet OLEDB:Engine Type=5;Jet OLEDB:Database Password=");
        e_.step()
            .status(L"Compact complete. Renaming old Database")
            .add(L"createHardLink " + kDbPath + L" -> " + backup);
        e_.step().status(L"Putting compacted database in place").add(L"replaceFile " + temp + L" -> " + kDbPath);
        e_.add(L"pathInfo " + kDbPath);
        e_.add(L"pump").step();
        e_.permissions(kDbPath, L"D:\\Quorvin Data", L"SRV01");
        e_.add(L"pump").step().add(L"pump");

        e_.status(L"Starting Services...");
        e_.keyProbe(kThKey);
        if (p_.teamharbor) {
            e_.add(L"regRead " + kThKey + L"Setup\\Folder").add(L"regRead " + kThKey + L"Setup\\installAsExe");
            service(L"Teamharbor", L"StartService");
        }
        e_.add(L"pump");
        e_.keyProbe(kTpKey);
        if (p_.mailServer) {
            e_.add(L"regRead " + kTpKey + L"Setup\\Folder").add(L"regRead " + kTpKey + L"Setup\\installAsExe");
            e_.add(L"pathInfo " + kTpFolder + L"\\").add(L"launch 1 \"" + kTpFolder + L"\\QMSSrv.EXE\"");
        }
        e_.add(L"pump").keyProbe(kQoKey);
        if (p_.organizer) e_.add(L"launch 2 iisreset /start");
        e_.add(L"pump").step();
        // Each restarted server is looked for, as it was started.
        if (p_.teamharbor) e_.add(L"pump").wmiQuery(kServiceQuery + L"Teamharbor'");
        if (p_.mailServer) e_.add(L"pump").wmiQuery(kProcessQuery + L"QMSSrv.exe'");

        e_.set(L"prjProgress", L"Visible", L"0").set(L"cmdClose", L"Enabled", L"1");
        e_.set(L"cmdCompact", L"Visible", L"1")
            .set(L"cmdClose", L"Visible", L"1")
            .set(L"cmdClose", L"Caption", L"Exit");
        e_.set(L"cmdOpenDataFolder", L"Visible", L"1");
        e_.set(L"lblStatus", L"Width", L"5775").set(L"lblStatus", L"Left", L"1200").set(L"imgTick", L"Visible", L"1");
        e_.status(L"Compact and repair complete.\r\nThe old database has been backed up to: " + backup);
        return e_;
    }

private:
    void service(const std::wstring& name, const std::wstring& method) {
        e_.wmiQuery(kServiceQuery + name + L"'");
        if (h_.platform.service(name) != nullptr) e_.add(L"execMethod " + method + L" " + name);
    }
    void kill(const std::wstring& name) {
        e_.wmiQuery(kProcessQuery + name + L"'");
        for (const FakeProcess& p : processes_) {
            if (p.name == name) e_.add(L"execMethod Terminate " + name + L" " + std::to_wstring(p.pid));
        }
    }

    const Harness& h_;
    Products p_;
    std::vector<FakeProcess> processes_ = h_.platform.processes;  // as they were before the run
    Expected e_;
};

// The log without what the comparison leaves to other tests: existence
// checks of the suffix, waits for CACLS, and the idle spinner.
std::vector<std::wstring> runLog(const Harness& h) {
    return h.log.without({L"pathExists", L"await", L"lblSpin.", L"tmrSpin."});
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
    EXPECT_EQ(lines.front(), L"Compact And Repair 1.0.0 on SRV01, database " + kDbPath);
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
    EXPECT_EQ(has(L"Terminate QMSSrv.exe (pid "), p.mailServer);
    EXPECT_TRUE(has(L"Started " + kSystemFolders.system + L"\\cacls.exe (pid "));
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::wstring& l) { return l.starts_with(L"Ended with exit code 0 (pid "); }),
              12);
    EXPECT_TRUE(has(L"Database size before: 8"));
    EXPECT_TRUE(has(L"Database size after: 8"));
    EXPECT_TRUE(has(L"Backup: " + h.form.BackupPath()));
    EXPECT_TRUE(lines.back().starts_with(L"Outcome: finished; after ")) << narrow(lines.back());
}

TEST(Run, FollowsEveryStepInOrderForEachInstallation) {
    const std::vector<std::pair<const char*, Products>> installations{
        {"no product", {}},
        {"Organizer only", {false, false, true}},
        {"all three", {true, true, true}},
    };
    for (const auto& [label, products] : installations) {
        SCOPED_TRACE(label);
        Harness h;
        h.install(products);
        h.start();
        RunScript script(h, products);
        h.form.RunEvent([&] { h.form.cmdCompact_Click(); });

        ASSERT_TRUE(h.form.BackupPath().ends_with(L"Backup"));
        EXPECT_TRUE(sameSequence(runLog(h), script.build(h.form.BackupPath())));
        EXPECT_TRUE(h.platform.messages.empty());
        expectFinished(h.form, products);
        EXPECT_TRUE(h.platform.files.at(kDbPath).compacted);
        EXPECT_EQ(h.platform.files.at(h.form.BackupPath()).content, "old data");
        // Of the programs only explorer.exe is left, and the mail server's, started again.
        EXPECT_EQ(h.platform.processes.size(), products.mailServer ? 2U : 1U);
        EXPECT_EQ(h.log.count(L"launch 2 iisreset"), products.organizer ? 2U : 0U);
        EXPECT_TRUE(h.log.contains(L"tmrSpin.Enabled=0"));  // whether or not anything started it
        EXPECT_EQ(h.platform.liveWmiServices + h.platform.liveJetEngines, 0);
        expectRunLog(h, products);
    }
}

// While the run works the buttons are gone, the bar shows and the close
// box is refused.
TEST(Run, RunningStateHidesTheButtonsAndRefusesTheCloseBox) {
    Harness h;
    h.install({true, false, false});
    h.start();
    std::vector<bool> closable;
    bool checked = false;
    h.platform.onPump = [&] {
        closable.push_back(h.form.QueryUnload());
        const car::frmCompactAndRepair& f = h.form;
        if (checked || f.lblStatus.Caption() != L"Stopping Admin 2") return;
        checked = true;
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
}

// An error in the run ends the program with the error's message; nothing
// that was stopped is started again.
TEST(Run, FailuresEndTheRunWithTheirMessageAndRestartNothing) {
    const car::Error wmi{car::hresult(0x80041003u), L"Access denied"};
    const car::Error noFile{car::kFileNotFoundHr, L"The system cannot find the file specified."};
    const car::Error denied{car::hresult(0x80070005u), L"Access is denied."};
    struct Case {
        const char* label;
        std::function<void(FakePlatform&)> arrange;
        car::Error error;
        bool compacted;
        bool iisStopped;  // besides both services and the five programs, when anything was stopped
    };
    const std::vector<Case> cases{
        {"WMI unavailable", [&](FakePlatform& p) { p.connectFailures.always = wmi; }, wmi, false, false},
        {"stop request refused", [&](FakePlatform& p) { p.methodFailures.nth[1] = wmi; }, wmi, false, false},
        {"no IIS tools", [](FakePlatform& p) { p.removeSystemProgram(L"iisreset"); }, noFile, false, false},
        {"CACLS missing", [](FakePlatform& p) { p.removeSystemProgram(L"cacls"); }, noFile, true, true},
        {"backup cannot be made",
         [&](FakePlatform& p) {
             p.hardLinks = false;
             p.moveFailures.nth[1] = denied;
         },
         denied, false, true},
    };
    const std::wstring stoppedText =
        L"This run stopped these, and they are still stopped:\r\n- the services Teamharbor, Quorvin Mail Server\r\n"
        L"- the programs THService.exe, QMSSrv.exe, THAdmin.exe, TPAdmin.exe, QOAdmin.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.install({true, true, true});
        h.start();
        c.arrange(h.platform);
        EXPECT_THROW(h.form.RunEvent([&] { h.form.cmdCompact_Click(); }), EndSignal);
        ASSERT_EQ(h.platform.messages.size(), 1U);
        EXPECT_TRUE(showsError(h.platform.messages[0], c.error)) << narrow(h.platform.messages[0]);
        const std::vector<std::wstring> lines = logLines(h);
        ASSERT_GE(lines.size(), 2U);
        EXPECT_TRUE(lines[lines.size() - 2].starts_with(L"Message: Error " + std::to_wstring(c.error.number)));
        EXPECT_TRUE(lines.back().starts_with(L"Outcome: ended by an error; exit code 1; after "));
        // What is left stopped is named, so that it can be started again.
        const bool anythingStopped = c.error.number != wmi.number;
        EXPECT_EQ(h.platform.messages[0].find(stoppedText) != std::wstring::npos, anythingStopped);
        EXPECT_EQ(h.platform.messages[0].find(L"- IIS") != std::wstring::npos, c.iisStopped);
        EXPECT_EQ(h.log.entries().back(), L"end 1");
        EXPECT_EQ(h.log.count(L"execMethod StartService"), 0U);
        EXPECT_EQ(h.log.count(L"launch 1"), 0U);
        EXPECT_EQ(h.log.count(L"launch 2 iisreset /start"), 0U);
        EXPECT_EQ(h.platform.files.at(kDbPath).compacted, c.compacted);
        EXPECT_FALSE(h.form.cmdClose.Visible());
    }
}

TEST(Run, FailedCompactionEndsWithItsOwnMessageOnly) {
    Harness h;
    h.install({true, true, true});
    h.start();
    h.platform.compactFailures.always = car::Error{car::hresult(0x80004005u), L"Unspecified error"};
    EXPECT_THROW(h.form.RunEvent([&] { h.form.cmdCompact_Click(); }), EndSignal);
    ASSERT_EQ(h.platform.messages.size(), 1U);
    EXPECT_TRUE(h.platform.messages[0].starts_with(L"Could not compact and repair database."));
    const auto tail = h.log.without({L"pathExists"});
    EXPECT_TRUE(tail[tail.size() - 3].starts_with(L"compactDatabase "));
    EXPECT_EQ(tail.back(), L"end 3");
    EXPECT_EQ(h.log.count(L"launch 0 CACLS"), 0U);
    EXPECT_EQ(h.form.BackupPath(), L"");
    EXPECT_EQ(h.platform.files.at(kDbPath).content, "old data");
}

// A server that cannot be restarted is reported, and the run still ends in
// the Finished window.
TEST(Run, FailedRestartIsShownAndTheRunFinishes) {
    Harness h;
    h.install({true, true, true});
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
    expectFinished(h.form, {true, true, true}, false);
    const std::wstring complete =
        L"Compact and repair complete.\r\nThe old database has been backed up to: " + h.form.BackupPath();
    EXPECT_EQ(h.form.lblStatus.Caption(),
              complete +
                  L"\r\nTeamharbor is not running again: it could not be started. Please start Teamharbor manually."
                  L"\r\nQuorvin Mail Server is not running again: it could not be started. Please start Quorvin Mail "
                  L"Server manually.");

    // A service that is gone after the run is found missing, without a message.
    Harness g;
    g.install({true, false, false});
    g.start();
    g.platform.onPump = [&] {
        if (g.form.lblStatus.Caption() == L"Starting Services...") g.platform.services.clear();
    };
    g.form.RunEvent([&] { g.form.cmdCompact_Click(); });
    EXPECT_TRUE(g.platform.messages.empty());
    expectFinished(g.form, {true, false, false}, false);
    EXPECT_TRUE(g.form.lblStatus.Caption().ends_with(
        L"\r\nTeamharbor is not running again: no service named \"Teamharbor\" exists. Please start Teamharbor "
        L"manually."));
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.install({true, true, true});
        h.start();
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

        if (!c.mend) continue;
        c.mend(h);
        h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
        EXPECT_EQ(h.platform.messages.size(), 1U);
        EXPECT_EQ(h.platform.compactions.size(), 1U);
        expectFinished(h.form, {true, true, true});
    }
}

// A second click, or Enter held down, lands in the run's first pumps while
// the button still shows: it must start nothing.
TEST(Run, ClicksDuringTheRunStartNothing) {
    Harness h;
    h.install({true, true, true});
    h.start();
    int clicks = 0;
    h.platform.onPump = [&] {
        ++clicks;
        h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
    };
    h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
    EXPECT_GT(clicks, 60);
    EXPECT_EQ(h.platform.compactions.size(), 1U);
    EXPECT_EQ(h.log.count(L"launch 0 CACLS"), 12U);
    EXPECT_EQ(h.log.count(L"execMethod StopService"), 2U);
    EXPECT_TRUE(h.platform.messages.empty());
    expectFinished(h.form, {true, true, true});
}

// Without a person nothing waits on a box: every message goes to the log,
// the exit code says how the run ended, and a failure after something was
// stopped starts the suite again first.
TEST(Unattended, EndsByItselfWithTheRunsExitCodeAndNeverShowsABox) {
    const car::Error failure{car::hresult(0x80004005u), L"Unspecified error"};
    struct Case {
        const char* label;
        std::function<void(FakePlatform&)> arrange;
        int exitCode;
        bool restarted;  // the suite was stopped and started again, IIS with it
    };
    const std::vector<Case> cases{
        {"finished", [](FakePlatform&) {}, car::kExitLeft, true},
        {"database missing", [](FakePlatform& p) { p.files.erase(kDbPath); }, car::kExitRefused, false},
        {"mail server not back", [](FakePlatform& p) { p.files.erase(kTpFolder + L"\\QMSSrv.EXE"); },
         car::kExitNotAllBack, true},
        {"compaction fails", [&](FakePlatform& p) { p.compactFailures.always = failure; }, car::kExitCompactionFailed,
         true},
        {"error mid-run", [](FakePlatform& p) { p.removeSystemProgram(L"cacls"); }, car::kExitError, true},
        {"log not writable", [&](FakePlatform& p) { p.appendFailures.always = failure; }, car::kExitLogNotWritten,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.install({true, true, true});
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
        EXPECT_EQ(h.platform.service(L"Teamharbor")->running, true);
        EXPECT_EQ(h.log.count(L"launch 2 iisreset /start"), c.restarted ? 1U : 0U);
        const std::vector<std::wstring> lines = logLines(h);
        if (c.exitCode == car::kExitLogNotWritten) {
            EXPECT_TRUE(lines.empty());
            continue;
        }
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines.front().ends_with(L", unattended"));
        EXPECT_NE(lines.back().find(L"; exit code " + std::to_wstring(c.exitCode) + L"; "), std::wstring::npos)
            << narrow(lines.back());
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

// Ending processes, asking services to stop and start, launching programs,
// and restarting the two servers as they are installed.
#include <gtest/gtest.h>

#include "harness.h"
#include "sequence.h"

namespace cartest {
namespace {

const car::Error kWmiDenied{car::hresult(0x80041003u), L"Access denied"};

TEST(KillProcess, EndsEveryProcessOfTheNameInTurn) {
    Harness h;
    const auto first = h.platform.addProcess(L"QMSSrv.exe");
    const auto other = h.platform.addProcess(L"THService.exe");
    const auto second = h.platform.addProcess(L"QMSSrv.exe");
    h.form.KillProcess(L"QMSSrv.exe");

    Expected want;
    want.wmiQuery(kProcessQuery + L"QMSSrv.exe'")
        .add(L"execMethod Terminate QMSSrv.exe " + std::to_wstring(first))
        .add(L"execMethod Terminate QMSSrv.exe " + std::to_wstring(second));
    EXPECT_TRUE(sameSequence(h.log.entries(), want));
    EXPECT_FALSE(h.platform.isRunning(first) || h.platform.isRunning(second));
    EXPECT_TRUE(h.platform.isRunning(other));
    EXPECT_EQ(h.platform.liveWmiServices, 0);

    // One that ended by itself between the query and its termination is what
    // was asked for: the others are still ended, and nothing fails.
    const auto gone = h.platform.addProcess(L"QMSSrv.exe");
    const auto last = h.platform.addProcess(L"QMSSrv.exe");
    h.platform.methodFailures.nth[h.platform.methodFailures.calls + 1] = {car::kWmiNotFound, L"Not found"};
    EXPECT_NO_THROW(h.form.KillProcess(L"QMSSrv.exe"));
    EXPECT_FALSE(h.platform.isRunning(last));
    std::erase_if(h.platform.processes, [&](const FakeProcess& p) { return p.pid == gone; });

    h.log.clear();
    h.form.KillProcess(L"THAdmin.exe");  // none running: nothing to do, no failure
    EXPECT_EQ(h.log.count(L"execMethod"), 0U);
    EXPECT_TRUE(h.log.contains(L"execQuery " + kProcessQuery + L"THAdmin.exe'"));
}

TEST(KillProcess, FailuresStopItAndReachTheCaller) {
    struct Case {
        const char* label;
        FailurePlan FakePlatform::*plan;
        std::size_t terminations;  // calls made before the failure
    };
    const std::vector<Case> cases{
        {"connect", &FakePlatform::connectFailures, 0},
        {"query", &FakePlatform::queryFailures, 0},
        {"first termination", &FakePlatform::methodFailures, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        const auto first = h.platform.addProcess(L"THService.exe");
        const auto second = h.platform.addProcess(L"THService.exe");
        (h.platform.*c.plan).nth[1] = kWmiDenied;
        expectError([&] { h.form.KillProcess(L"THService.exe"); }, kWmiDenied);
        EXPECT_EQ(h.log.count(L"execMethod"), c.terminations);
        EXPECT_TRUE(h.platform.isRunning(first) && h.platform.isRunning(second));
        EXPECT_EQ(h.platform.liveWmiServices, 0);
    }
}

TEST(ServiceControl, AsksByExactQueryAndDoesNotWait) {
    Harness h;
    h.platform.services = {{L"Quorvin Mail Server", true}, {L"Teamharbor", false}};
    h.form.StopService(L"Quorvin Mail Server");
    h.form.StartService(L"Teamharbor");
    h.form.StopService(L"Teamharbor");
    h.form.StopService(L"Teamharbor");  // already stopped: no failure
    h.form.StartService(L"No Such Service");

    Expected want;
    want.wmiQuery(kServiceQuery + L"Quorvin Mail Server'").add(L"execMethod StopService Quorvin Mail Server");
    want.wmiQuery(kServiceQuery + L"Teamharbor'").add(L"execMethod StartService Teamharbor");
    want.wmiQuery(kServiceQuery + L"Teamharbor'").add(L"execMethod StopService Teamharbor");
    want.wmiQuery(kServiceQuery + L"Teamharbor'").add(L"execMethod StopService Teamharbor");
    want.wmiQuery(kServiceQuery + L"No Such Service'");
    EXPECT_TRUE(sameSequence(h.log.entries(), want));
    EXPECT_FALSE(h.platform.service(L"Quorvin Mail Server")->running);
    EXPECT_FALSE(h.platform.service(L"Teamharbor")->running);
    EXPECT_EQ(h.platform.liveWmiServices, 0);
    EXPECT_EQ(h.platform.now, 0U);

    for (FailurePlan FakePlatform::*plan :
         {&FakePlatform::connectFailures, &FakePlatform::queryFailures, &FakePlatform::methodFailures}) {
        Harness g;
        g.platform.services = {{L"Teamharbor", true}};
        (g.platform.*plan).always = kWmiDenied;
        EXPECT_THROW(g.form.StopService(L"Teamharbor"), car::Error);
        EXPECT_THROW(g.form.StartService(L"Teamharbor"), car::Error);
    }
}

TEST(Runexe, StartsTheCommandInItsStyleAndReturnsItsId) {
    Harness h;
    const double pid = h.form.runexe(L"iisreset /stop", 2);
    ASSERT_EQ(h.platform.launches.size(), 1U);
    EXPECT_EQ(h.log.entries(), std::vector<std::wstring>{L"launch 2 iisreset /stop"});
    EXPECT_EQ(pid, static_cast<double>(h.platform.launches[0].pid));
    EXPECT_FALSE(h.platform.hasEnded(h.platform.launches[0].pid));  // not waited for

    h.platform.removeSystemProgram(L"iisreset");
    EXPECT_THROW(h.form.runexe(L"iisreset /start", 2), car::Error);
    EXPECT_THROW(h.form.runexe(L"C:\\Missing\\THSERVICE.EXE", 1), car::Error);
    EXPECT_THROW(h.form.runexe(L"notepad C:\\x.txt", 1), car::Error);  // no search for other names
    EXPECT_EQ(h.platform.launches.size(), 1U);
}

// The system's tools come from the system's folders, never from a search
// that starts in the program's own or the current folder; a server program
// from its own path, in its own folder.
TEST(Runexe, StartsProgramsFromKnownFoldersOnly) {
    const std::wstring server = L"C:\\Program Files\\Quorvin\\Teamharbor\\THSERVICE.EXE";
    const car::SystemFolders plain{L"C:\\WINNT", L"C:\\WINNT\\system32", L"C:\\WINNT\\system32"};
    struct Case {
        const char* label;
        car::SystemFolders folders;
        std::wstring commandLine;
        std::wstring application;
        std::wstring currentFolder;
    };
    const std::vector<Case> cases{
        {"iisreset under WOW64", kSystemFolders, L"iisreset /stop", L"C:\\Windows\\Sysnative\\iisreset.exe",
         kSystemFolders.system},
        {"iisreset without WOW64", plain, L"iisreset /start", L"C:\\WINNT\\system32\\iisreset.exe", plain.system},
        {"explorer", kSystemFolders, L"explorer.exe D:\\Data\\", L"C:\\Windows\\explorer.exe", kSystemFolders.system},
        {"a server by its quoted path", kSystemFolders, L"\"" + server + L"\"", server,
         L"C:\\Program Files\\Quorvin\\Teamharbor\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.platform.folders = c.folders;
        h.platform.systemPrograms = {c.application};
        h.platform.files[server] = FakeFile{"program", false};
        h.platform.files[L"C:\\iisreset.exe"] = FakeFile{"planted", false};  // beside the program, say
        h.form.runexe(c.commandLine, 1);
        ASSERT_EQ(h.platform.launches.size(), 1U);
        EXPECT_EQ(h.platform.launches[0].application, c.application);
        EXPECT_EQ(h.platform.launches[0].commandLine, c.commandLine);
        EXPECT_EQ(h.platform.launches[0].currentFolder, c.currentFolder);
    }
}

struct RestartCase {
    const char* label;
    bool mail;                           // StartMailServer rather than StartTeamharbor
    std::optional<std::wstring> folder;  // nothing: the value is missing
    std::optional<car::RegValue> mode;
    bool programThere = true;
    bool wmiFails = false;
    std::vector<std::wstring> expected;  // reads, WMI and launches in order
    bool message = false;
    bool runsAlready = false;        // its service runs, or its server program
    bool sameNameElsewhere = false;  // a program of the server's name runs from another folder
};

std::vector<RestartCase> restartCases() {
    const std::wstring th = L"regRead " + kThKey + L"Setup\\";
    const std::wstring tp = L"regRead " + kTpKey + L"Setup\\";
    const std::wstring connect = L"connectWmi " + std::wstring(kWmiMoniker);
    const std::wstring startTh = L"execMethod StartService Teamharbor";
    const std::wstring queryTh = L"execQuery " + kServiceQuery + L"Teamharbor'";
    const std::wstring queryTp = L"execQuery " + kServiceQuery + L"Quorvin Mail Server'";
    const std::wstring server = L"C:\\Server";
    const std::wstring qms = L"C:\\Program Files\\QMS";
    const std::wstring launchTh = L"launch 1 \"C:\\Server\\THSERVICE.EXE\"";
    const std::wstring stateTh = L"serviceState Teamharbor";
    const std::wstring thRuns = L"processesNamed THService.exe";
    const std::wstring qmsRuns = L"processesNamed QMSSrv.exe";
    using V = car::RegValue;
    // clang-format off
    return {
        {"mode 0 starts the service", false, server, V{std::int64_t{0}}, true, false,
         {th + L"Folder", th + L"installAsExe", stateTh, connect, queryTh, startTh}},
        {"mode 2 starts the service", false, server, V{std::int64_t{2}}, true, false,
         {th + L"Folder", th + L"installAsExe", stateTh, connect, queryTh, startTh}},
        {"mode 1 launches the program", false, server, V{std::int64_t{1}}, true, false,
         {th + L"Folder", th + L"installAsExe", thRuns, launchTh}},
        {"mode \"1\" launches the program", false, server, V{std::wstring(L"1")}, true, false,
         {th + L"Folder", th + L"installAsExe", thRuns, launchTh}},
        {"mode \"x\" is no number", false, server, V{std::wstring(L"x")}, true, false,
         {th + L"Folder", th + L"installAsExe"}, true},
        {"mode \"\" is no number", false, server, V{std::wstring()}, true, false,
         {th + L"Folder", th + L"installAsExe"}, true},
        {"missing folder", false, std::nullopt, V{std::int64_t{0}}, true, false,
         {th + L"Folder"}, true},
        {"missing mode", false, server, std::nullopt, true, false,
         {th + L"Folder", th + L"installAsExe"}, true},
        {"program not in the folder", false, server, V{std::int64_t{1}}, false, false,
         {th + L"Folder", th + L"installAsExe", thRuns, launchTh}, true},
        {"WMI unreachable", false, server, V{std::int64_t{0}}, true, true,
         {th + L"Folder", th + L"installAsExe", stateTh, connect}, true},
        {"mail server as a program", true, qms, V{std::int64_t{1}}, true, false,
         {tp + L"Folder", tp + L"installAsExe", qmsRuns, L"launch 1 \"" + qms + L"\\QMSSrv.EXE\""}},
        {"mail server program runs already: no second copy", true, qms, V{std::int64_t{1}}, true, false,
         {tp + L"Folder", tp + L"installAsExe", qmsRuns, L"processImage 1004"}, false, true},
        {"a program of its name from another folder is not it: started all the same", true, qms, V{std::int64_t{1}},
         true, false, {tp + L"Folder", tp + L"installAsExe", qmsRuns, L"processImage 1004",
         L"launch 1 \"" + qms + L"\\QMSSrv.EXE\""}, false, false, true},
        {"service runs already: not asked again", false, server, V{std::int64_t{0}}, true, false,
         {th + L"Folder", th + L"installAsExe", stateTh}, false, true},
        {"mail server as a service", true, qms, V{std::int64_t{0}}, true, false,
         {tp + L"Folder", tp + L"installAsExe", L"serviceState Quorvin Mail Server", connect, queryTp,
          L"execMethod StartService Quorvin Mail Server"}},
        {"mail server without folder", true, std::nullopt, V{std::int64_t{1}}, true, false,
         {tp + L"Folder"}, true},
    };
    // clang-format on
}

TEST(ProductRestart, StartsAsInstalledOrSaysSoAndReturns) {
    for (const RestartCase& c : restartCases()) {
        SCOPED_TRACE(c.label);
        Harness h;
        const std::wstring setup = (c.mail ? kTpKey : kThKey) + L"Setup\\";
        const std::wstring program = c.mail ? L"\\QMSSrv.EXE" : L"\\THSERVICE.EXE";
        if (c.folder) {
            h.platform.setValue(setup + L"Folder", *c.folder);
            if (c.programThere) h.platform.files[*c.folder + program] = FakeFile{"program", false};
        }
        if (c.mode) h.platform.setValue(setup + L"installAsExe", *c.mode);
        h.platform.addKey(setup);
        h.platform.services = {{L"Teamharbor", c.runsAlready}, {L"Quorvin Mail Server", false}};
        if (c.runsAlready)
            h.platform.addProcess(c.mail ? L"QMSSrv.EXE" : L"THService.exe", c.folder.value_or(L"") + program);
        if (c.sameNameElsewhere) h.platform.addProcess(L"QMSSrv.exe", L"C:\\Users\\mallory\\QMSSrv.exe");
        if (c.wmiFails) h.platform.connectFailures.always = kWmiDenied;

        EXPECT_NO_THROW(c.mail ? h.form.StartMailServer() : h.form.StartTeamharbor());
        EXPECT_EQ(h.log.without({L"showMessage", L"pathInfo"}), c.expected);
        const std::wstring product = c.mail ? L"Quorvin Mail Server" : L"Teamharbor";
        const std::wstring text = L"Could not start " + product + L", please start " + product + L" manually";
        EXPECT_EQ(h.platform.messages, c.message ? std::vector<std::wstring>{text} : std::vector<std::wstring>{});
        if (c.message) {
            EXPECT_EQ(h.log.entries().back(), L"showMessage " + text);
        }
    }
}

}  // namespace
}  // namespace cartest

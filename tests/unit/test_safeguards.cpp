// The safeguards around the run, each on its own against the fake: no window.
#include <gtest/gtest.h>

#include <set>

#include "app/safeguards/command_line.h"
#include "app/safeguards/program_starts.h"
#include "app/safeguards/run_ending.h"
#include "app/safeguards/suite_restart.h"
#include "app/suite.h"
#include "fake_platform.h"

namespace cartest {
namespace {

const std::wstring kTh(car::suite::kTeamharborKey);
const std::wstring kTp(car::suite::kTeampostKey);
const std::wstring kQo(car::suite::kOrganizerKey);
const std::wstring kDb = L"D:\\Quorvin Data\\suite.mdb";

// The suite's state and its restart with what they share, and the products'
// own starts as counters.
struct Bench {
    EventLog events;
    FakePlatform platform{events};
    car::RunLog log{platform};
    std::set<std::wstring> keys;  // the product keys the registry has now
    std::vector<std::wstring> started;
    car::StoppedByRun stopped;
    car::SuiteState suite{platform, [this](const std::wstring& key) { return keys.contains(key); }};
    car::SuiteBack back{platform};
    car::IisWaits iis{platform, log, {[] {}, [](const std::wstring&) {}}};
    car::RunFigures figures{platform, log};
    car::ProgramStarts programs{platform, log};
    car::SuiteRestart restart{
        platform,
        log,
        {stopped, suite, back, iis, figures},
        {[this] { started.push_back(L"Teamharbor"); }, [this] { started.push_back(L"Quorvin Mail Server"); },
         [this](const std::wstring& commandLine, int style) {
             started.push_back(commandLine);
             return programs.Launch(commandLine, style);
         }}};

    std::vector<std::wstring> logLines() const {
        const auto found = platform.appended.find(kDb + L".log");
        return found == platform.appended.end() ? std::vector<std::wstring>{} : found->second;
    }
    bool logged(std::wstring_view text) const {
        for (const std::wstring& line : logLines()) {
            if (line.find(text) != std::wstring::npos) return true;
        }
        return false;
    }
};

TEST(SuiteState, WhatTheRunFoundInstalledStaysInstalledAndServersAreFoundHowTheyRun) {
    Bench b;
    b.keys = {kTh, kTp};
    b.suite.FoundAtStart({kTh});
    b.keys.erase(kTh);  // a read of the key that fails at the restart
    EXPECT_TRUE(b.suite.InstalledNowOrAtStart(kTh));
    EXPECT_TRUE(b.suite.InstalledNowOrAtStart(kTp));  // installed during the run
    EXPECT_FALSE(b.suite.InstalledNowOrAtStart(kQo));

    // The mail server as a program: its own program file's process, whatever
    // its service does; one of the same name from elsewhere is not it.
    b.keys = {kTh, kTp, kQo};
    b.platform.setValue(kTp + L"Setup\\installAsExe", std::int64_t{1});
    b.platform.setValue(kTp + L"Setup\\Folder", L"C:\\QMS");
    b.platform.addProcess(L"QMSSrv.exe", L"C:\\Users\\mallory\\QMSSrv.exe");
    b.platform.services = {{L"Quorvin Mail Server", false}, {L"W3SVC", true}};  // Teamharbor's service is missing
    EXPECT_FALSE(b.suite.Now()[1].runs);
    b.platform.addProcess(L"QMSSrv.exe", L"C:\\QMS\\QMSSRV.EXE");
    const std::vector<car::SuiteState::Product> now = b.suite.Now();
    ASSERT_EQ(now.size(), 3u);
    EXPECT_TRUE(now[0].installed && !now[0].runs && now[0].failure.empty());
    EXPECT_TRUE(now[1].installed && now[1].runs);
    EXPECT_TRUE(now[2].installed && now[2].runs && now[2].webService);
}

TEST(SuiteRestart, EveryInstalledProductAndIisUnlessItRunsAndTheRunLeftItAlone) {
    struct Row {
        bool endOfRun;
        bool iisStoppedByRun;
        bool webServiceRuns;
        bool iisreset;
    };
    for (const Row row : {Row{true, false, true, true}, Row{false, false, true, false}, Row{false, true, true, true},
                          Row{false, false, false, true}}) {
        SCOPED_TRACE(testing::Message() << row.endOfRun << row.iisStoppedByRun << row.webServiceRuns);
        Bench b;
        b.keys = {kTh, kQo};
        b.platform.services = {{L"W3SVC", row.webServiceRuns}};
        b.stopped.iisStopped(row.iisStoppedByRun);
        b.restart.StartSuite(row.endOfRun);
        std::vector<std::wstring> expected{L"Teamharbor"};
        if (row.iisreset) expected.push_back(L"iisreset /start");
        EXPECT_EQ(b.started, expected);
        EXPECT_FALSE(b.stopped.iisStopped());
    }
}

TEST(SuiteRestart, ADependentThatCannotStartIsNamedAndStaysStopped) {
    Bench b;
    b.log.beginRecord(kDb, L"HOST", L"");
    b.platform.services = {{L"Archiver", false}};
    b.stopped.dependentStopped(L"Archiver");
    b.stopped.dependentStopped(L"Gone");
    b.restart.AfterFailure();
    EXPECT_EQ(b.stopped.dependents(), std::vector<std::wstring>{L"Gone"});
    EXPECT_TRUE(b.logged(L"The dependent service Gone could not be started"));
    EXPECT_TRUE(b.logged(L"Not back:"));
    ASSERT_NE(b.platform.service(L"Archiver"), nullptr);
    EXPECT_TRUE(b.platform.service(L"Archiver")->running);
}

TEST(RunEnding, AFailureStartsTheSuiteAgainBeforeItsOutcomeAndHoldsNothingAtItsBox) {
    for (const auto& [unattended, databaseThere] : {std::pair{true, true}, {false, true}, {true, false}}) {
        SCOPED_TRACE(std::to_string(unattended) + std::to_string(databaseThere));
        Bench b;
        car::RunGuard guard{b.platform};
        car::CompactionCheck check{b.platform, b.log};
        car::RunEnding ending{b.platform,
                              {b.log, guard, b.stopped, b.restart, b.figures, check},
                              {[] { return kDb; }, [] { return std::wstring(); }}};
        ending.SetMode(unattended, false);
        b.keys = {kTh};
        if (databaseThere) b.platform.files[kDb] = FakeFile{"data", false};
        ASSERT_TRUE(guard.lockMachine());
        b.log.beginRecord(kDb, L"HOST", L"");
        b.stopped.serviceStopped(L"Teamharbor");
        const EndSignal end = [&] {
            try {
                ending.End(car::kExitError, L"ended by an error", L"Error 5");
            } catch (const EndSignal& signal) {
                return signal;
            }
            return EndSignal{-1};
        }();
        EXPECT_EQ(end.exitCode, car::kExitError);
        // With a person the suite stays as the failure left it, for a repair
        // by hand; nothing starts while nothing stands under the database's name.
        EXPECT_EQ(b.started,
                  unattended && databaseThere ? std::vector<std::wstring>{L"Teamharbor"} : std::vector<std::wstring>{});
        const std::vector<std::wstring> lines = b.logLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines.back().find(L"Outcome: ended by an error; exit code 1"), std::wstring::npos);
        EXPECT_EQ(b.platform.events.size(), unattended ? 1u : 0u);
        EXPECT_EQ(b.platform.messages.size(), unattended ? 0u : 1u);
        if (!unattended) {
            EXPECT_NE(b.platform.messages[0].find(L"the services Teamharbor"), std::wstring::npos);
        }
        for (const int held : b.platform.heldAtBoxes) EXPECT_EQ(held, 0);
        EXPECT_EQ(b.platform.locksHeld, 0);
    }
}

TEST(CommandLine, UnattendedWinsWhereverItStandsAndTheFirstStrangerIsNamed) {
    const std::vector<std::wstring> arguments{L"/check", L"/KEEP:3", L"/frobnicate", L"-Unattended", L"/x"};
    std::vector<std::wstring> offered;
    const car::CommandLine line(arguments, [&](const std::wstring& argument) {
        offered.push_back(argument);
        return argument == L"/KEEP:3";
    });
    EXPECT_TRUE(line.unattended() && line.checkOnly() && !line.usage());
    EXPECT_EQ(line.unknown(), L"/frobnicate");
    EXPECT_EQ(offered, (std::vector<std::wstring>{L"/check", L"/KEEP:3", L"/frobnicate", L"/x"}));
    EXPECT_TRUE(car::CommandLine::IsUnattended(arguments));
    EXPECT_FALSE(car::CommandLine::IsUnattended({L"/unattendedly"}));
}

}  // namespace
}  // namespace cartest

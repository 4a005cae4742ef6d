// The window's own commands, its progress step and spinner, and the
// boundary where an escaping error ends the program.
#include <gtest/gtest.h>

#include "harness.h"
#include "sequence.h"

namespace cartest {
namespace {

TEST(Window, GetPathOnlyKeepsEverythingUpToTheLastBackslash) {
    const std::vector<std::pair<std::wstring, std::wstring>> cases{
        {L"C:\\Data\\suite.mdb", L"C:\\Data\\"},
        {L"D:\\Quorvin Data\\sub dir\\suite.mdb", L"D:\\Quorvin Data\\sub dir\\"},
        {L"C:\\Data\\", L"C:\\Data\\"},
        {L"C:\\db.mdb", L"C:\\"},
        {L"\\\\server\\share\\db.mdb", L"\\\\server\\share\\"},
        {L"C:\\Data\\sub/suite.mdb", L"C:\\Data\\"},
        {L"C:/Data/suite.mdb", L""},
        {L"suite.mdb", L""},
        {L"", L""},
        {L"\\", L"\\"},
    };
    for (const auto& [path, folder] : cases) {
        EXPECT_EQ(car::frmCompactAndRepair::GetPathOnly(path), folder) << narrow(path);
    }
}

TEST(Window, OpenDataFolderStartsExplorerOnTheFolderUnquoted) {
    const std::vector<std::pair<std::wstring, std::wstring>> cases{
        {kDbPath, L"launch 1 explorer.exe D:\\Quorvin Data\\"},
        {L"C:/Data/suite.mdb", L"launch 1 explorer.exe "},
        {L"D:\\Data\\", L"launch 1 explorer.exe D:\\Data\\"},
    };
    for (const auto& [path, launch] : cases) {
        Harness h;
        h.form.txtDBPath.setCaption(path);
        h.log.clear();
        h.form.RunEvent([&] { h.form.cmdOpenDataFolder_Click(); });
        EXPECT_EQ(h.log.entries(), std::vector<std::wstring>{launch});
        EXPECT_TRUE(h.platform.messages.empty());
    }
}

TEST(Window, OpenDataFolderThatCannotLaunchEndsAtTheBoundary) {
    Harness h;
    h.form.txtDBPath.setCaption(kDbPath);
    const car::Error refused{car::hresult(0x800700C1u), L"%1 is not a valid Win32 application."};
    h.platform.launchFailures[L"explorer"] = refused;
    EXPECT_THROW(h.form.RunEvent([&] { h.form.cmdOpenDataFolder_Click(); }), EndSignal);
    ASSERT_EQ(h.platform.messages.size(), 1U);
    EXPECT_TRUE(showsError(h.platform.messages[0], refused)) << narrow(h.platform.messages[0]);
    EXPECT_EQ(h.log.entries().back(), L"end 1");
}

TEST(Window, CloseEndsAtOnceWithoutAMessage) {
    Harness h;
    EXPECT_THROW(h.form.RunEvent([&] { h.form.cmdClose_Click(); }), EndSignal);
    EXPECT_EQ(h.log.entries(), std::vector<std::wstring>{L"end 0"});
}

// An error that escapes a handler is shown with its number and description,
// then the program ends; a handler that returns leaves no trace.
TEST(Window, RunEventShowsAnEscapingErrorAndEnds) {
    const std::vector<car::Error> errors{
        {car::hresult(0x80041003u), L"Access denied"},
        {car::kInvalidProcedureCall, L"Invalid procedure call or argument"},
        {car::hresult(0x80004005u), L"First line\r\nSecond line"},
    };
    for (const car::Error& error : errors) {
        Harness h;
        EXPECT_THROW(h.form.RunEvent([&] { throw error; }), EndSignal);
        ASSERT_EQ(h.platform.messages.size(), 1U);
        EXPECT_TRUE(showsError(h.platform.messages[0], error)) << narrow(h.platform.messages[0]);
        EXPECT_EQ(h.log.entries().back(), L"end 1");
        EXPECT_EQ(h.log.size(), 2U);
    }
    Harness quiet;
    quiet.form.RunEvent([] {});
    EXPECT_TRUE(quiet.log.entries().empty());
}

TEST(Progress, EachStepPumpsMovesTheBarSleepsAndPumps) {
    Harness h;
    Expected want;
    for (int i = 0; i < 11; ++i) {
        h.form.anicompress();
        want.step();
    }
    EXPECT_TRUE(sameSequence(h.log.entries(), want));  // values 1 to 10, then 0
    EXPECT_EQ(h.form.prjProgress.Value(), 0.0F);
    EXPECT_EQ(h.platform.now, 11U * 500U);
    EXPECT_EQ(h.log.count(L"prjProgress.Max"), 0U);

    // At the maximum the bar starts again at 0, never 11; from 1 it goes to 2.
    for (const auto& [from, to] : std::vector<std::pair<float, float>>{{10.0F, 0.0F}, {1.0F, 2.0F}, {9.0F, 10.0F}}) {
        Harness g;
        g.form.prjProgress.setValue(from);
        g.form.anicompress();
        EXPECT_EQ(g.form.prjProgress.Value(), to) << from;
    }
}

TEST(Progress, SpinnerTurnsThroughItsFourFramesAndLeavesOthersAlone) {
    Harness h;
    const std::vector<std::wstring> frames{L"|", L"/", L"-", L"\\"};
    for (std::size_t i = 0; i < frames.size(); ++i) {
        h.form.lblSpin.setCaption(frames[i]);
        h.form.tmrSpin_Timer();
        EXPECT_EQ(h.form.lblSpin.Caption(), frames[(i + 1) % frames.size()]) << narrow(frames[i]);
    }
    h.form.lblSpin.setCaption(L"\\");
    for (int i = 0; i < 4; ++i) h.form.tmrSpin_Timer();
    EXPECT_EQ(h.form.lblSpin.Caption(), L"\\");

    for (const std::wstring other : {L"x", L"", L"||", L" |"}) {
        h.form.lblSpin.setCaption(other);
        h.form.tmrSpin_Timer();
        EXPECT_EQ(h.form.lblSpin.Caption(), other);
    }
    EXPECT_TRUE(h.log.only({L"pump", L"sleep", L"launch"}).empty());
}

}  // namespace
}  // namespace cartest

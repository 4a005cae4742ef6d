// The host name and the twelve CACLS grants.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "sequence.h"

namespace cartest {
namespace {

TEST(HostName, TrimAtNulCutsAtTheFirstNul) {
    using car::frmCompactAndRepair;
    EXPECT_EQ(frmCompactAndRepair::TrimAtNul(L"SRV01"), L"SRV01");
    EXPECT_EQ(frmCompactAndRepair::TrimAtNul(std::wstring(L"\0SRV01", 6)), L"");
    EXPECT_EQ(frmCompactAndRepair::TrimAtNul(std::wstring(L"SR\0V\0", 5)), L"SR");
    EXPECT_EQ(frmCompactAndRepair::TrimAtNul(L""), L"");
}

TEST(HostName, ReadsTheHostFieldOfTheNetworkParameters) {
    struct Case {
        const char* label;
        std::string field;
        std::wstring name;
    };
    const std::vector<Case> cases{
        {"short name", "SRV01", L"SRV01"},
        {"fifteen characters", "ABCDEFGHIJKLMNO", L"ABCDEFGHIJKLMNO"},
        {"all NULs", std::string(132, '\0'), L""},
        {"ANSI beyond ASCII", "M\xDCLLER-PC", L"M\u00DCLLER-PC"},
        {"field full to the brim", std::string(132, 'h'), std::wstring(132, L'h')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.platform.hostField = c.field;
        EXPECT_EQ(h.form.GetHostName(), c.name);
        // Asked for the size first, then with a buffer of exactly that size;
        // only the 132-byte host field is converted.
        EXPECT_EQ(h.platform.networkParamsLengths, (std::vector<std::uint32_t>{0, kFixedInfoSize}));
        EXPECT_EQ(h.platform.ansiConversions, std::vector<std::size_t>{132});
    }
}

TEST(HostName, FailuresGiveEmptyTextSilently) {
    Harness sizeZero;
    sizeZero.platform.hostField = "SRV01";
    sizeZero.platform.networkParamsSize = 0;
    EXPECT_EQ(sizeZero.form.GetHostName(), L"");
    EXPECT_EQ(sizeZero.log.entries(), std::vector<std::wstring>{L"getNetworkParams"});

    Harness secondFails;
    secondFails.platform.hostField = "SRV01";
    secondFails.platform.filledCallResult = 87;
    EXPECT_EQ(secondFails.form.GetHostName(), L"");
    EXPECT_EQ(secondFails.log.count(L"getNetworkParams"), 2U);
    EXPECT_TRUE(secondFails.platform.messages.empty());
}

std::vector<std::wstring> commandLines(const Harness& h) {
    std::vector<std::wstring> out;
    for (const auto& l : h.platform.launches) out.push_back(l.commandLine);
    return out;
}

struct Grants : ::testing::Test {
    Harness h;
    void permissions(const std::wstring& dbPath) {
        h.form.txtDBPath.setCaption(dbPath);
        h.platform.hostField = "SRV01";
        h.log.clear();
        h.form.SetPermissions();
    }
};

// Their place among the status texts and progress steps: the run's transcript.
TEST_F(Grants, TwelveHiddenCommandsWordForWordWithTheHostName) {
    permissions(kDbPath);
    EXPECT_EQ(commandLines(h), grantCommands(kDbPath, L"D:\\Quorvin Data", L"SRV01"));
    EXPECT_EQ(h.form.lblStatus.Caption(), L"Setting Permissions...9");
    for (const auto& l : h.platform.launches) EXPECT_EQ(l.style, 0);
    EXPECT_TRUE(h.platform.messages.empty());
}

// Each grant is waited for right before the next one starts (after the
// progress step between them) and the last one before SetPermissions
// returns, so no two edits of one access list overlap.
TEST_F(Grants, EachCommandHasEndedBeforeTheNextStarts) {
    h.platform.runTimesMs[L"cacls"] = 1200;  // longer than a progress step
    permissions(kDbPath);
    ASSERT_EQ(h.platform.launches.size(), 12U);
    const auto order = h.log.only({L"launch", L"await", L"pump", L"sleep", L"lblStatus"});
    std::size_t launchIndex = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (!order[i].starts_with(L"launch")) continue;
        if (launchIndex > 0) {
            const auto previous = h.platform.launches[launchIndex - 1].pid;
            EXPECT_EQ(order[i - 1], L"await " + std::to_wstring(previous)) << "before grant " << launchIndex + 1;
        }
        ++launchIndex;
    }
    EXPECT_EQ(order.back(), L"await " + std::to_wstring(h.platform.launches.back().pid));
    EXPECT_EQ(h.log.count(L"await"), 12U);
    for (const auto& l : h.platform.launches) {
        EXPECT_EQ(l.stillRunningAtStart, 0U) << narrow(l.commandLine);
        EXPECT_TRUE(h.platform.hasEnded(l.pid));
    }
}

// The folder grants walk a whole tree: only ever the database's own folder,
// never a drive's or a share's root nor "C:" (the current folder of drive C),
// and never a quoted argument ending in a backslash, which would escape its
// closing quote. The six file grants are made in every case.
TEST_F(Grants, FolderGrantsCoverOnlyTheDatabasesOwnFolder) {
    const std::vector<std::pair<std::wstring, std::wstring>> cases{
        {L"C:\\db.mdb", L""},
        {L"C:\\\\db.mdb", L""},
        {L"suite.mdb", L""},
        {L"\\\\SRV\\Share\\db.mdb", L""},
        {L"D:\\Data\\\\suite.mdb", L"D:\\Data"},
        {L"\\\\SRV\\Share\\Data\\db.mdb", L"\\\\SRV\\Share\\Data"},
    };
    for (const auto& [dbPath, folder] : cases) {
        SCOPED_TRACE(narrow(dbPath));
        Harness g;
        g.form.txtDBPath.setCaption(dbPath);
        g.form.SetPermissions();
        EXPECT_EQ(commandLines(g), grantCommands(dbPath, folder, L""));
        for (const auto& l : g.platform.launches) {
            EXPECT_EQ(l.commandLine.find(L"\\\""), std::wstring::npos) << narrow(l.commandLine);
            // Never found by a search that starts in the program's own folder.
            EXPECT_EQ(l.application, kSystemFolders.system + L"\\cacls.exe");
            EXPECT_EQ(l.currentFolder, kSystemFolders.system);
        }
        EXPECT_TRUE(g.platform.messages.empty());
    }
}

// A link anywhere in the data folder's tree would carry the grants with /T
// to wherever it points: then only the six grants on the database are made,
// and the final text says why, as does the log with every link found. A tree
// that cannot be looked at is treated the same.
TEST_F(Grants, TreeWithALinkGetsNoRecursiveGrants) {
    const std::vector<std::wstring> fileGrants = [] {
        std::vector<std::wstring> all = grantCommands(kDbPath, L"D:\\Quorvin Data", L"SRV01");
        return std::vector<std::wstring>(all.begin(), all.begin() + 6);
    }();
    for (const bool unreadable : {false, true}) {
        Harness g;
        g.install({true, true, true});
        g.start();
        if (unreadable) {
            g.platform.treeWalkFailures.always = car::Error{car::kAccessDeniedHr, L"Access is denied."};
        } else {
            g.platform.treeReparsePoints = {{L"D:\\Quorvin Data\\attachments", car::ReparseKind::Junction},
                                            {L"D:\\Quorvin Data\\x.cfg", car::ReparseKind::SymbolicLink}};
        }
        g.form.RunEvent([&] { g.form.cmdCompact_Click(); });
        std::vector<std::wstring> grants = commandLines(g);
        std::erase_if(grants, [](const std::wstring& line) { return !line.starts_with(L"CACLS "); });
        EXPECT_EQ(grants, fileGrants);
        const std::wstring warning = unreadable
                                         ? L"could not be looked at for links (Error -2147024891: Access is denied.)"
                                         : L"holds 2 junctions, symbolic links or mount points";
        EXPECT_NE(g.form.lblStatus.Caption().find(warning), std::wstring::npos) << narrow(g.form.lblStatus.Caption());
        const std::vector<std::wstring>& lines = g.platform.appended[kDbPath + L".log"];
        EXPECT_EQ(
            std::count_if(lines.begin(), lines.end(),
                          [](const std::wstring& l) { return l.find(L" In the data folder's tree: ") != l.npos; }),
            unreadable ? 0 : 2);
        EXPECT_TRUE(g.form.imgTick.Visible());  // the suite is back all the same
    }
}

TEST_F(Grants, EmptyHostNameLeavesThePrefixesAlone) {
    h.platform.networkParamsSize = 0;
    permissions(kDbPath);
    EXPECT_EQ(commandLines(h), grantCommands(kDbPath, L"D:\\Quorvin Data", L""));
}

// A double quote would end the quoted path early and let the rest of it
// act as switches of CACLS.
TEST_F(Grants, PathWithADoubleQuoteIsRefusedBeforeAnyCommand) {
    {
        const car::Error e = errorOf([&] { permissions(L"D:\\Data\\x\" /T /G \"everyone.mdb"); });
        EXPECT_FALSE(e.description.empty());
    }
    EXPECT_TRUE(h.platform.launches.empty());
    EXPECT_EQ(h.log.count(L"launch"), 0U);
}

TEST_F(Grants, CommandThatCannotStartEndsTheGrantsAtOnce) {
    const car::Error missing{car::kFileNotFoundHr, L"The system cannot find the file specified."};
    h.platform.removeSystemProgram(L"cacls");
    expectError([&] { permissions(kDbPath); }, missing);
    EXPECT_EQ(h.log.count(L"launch"), 1U);
    EXPECT_EQ(h.log.count(L"pump"), 0U);
}

}  // namespace
}  // namespace cartest

// The host name and the twelve grants: their accounts, their targets, and the walk of the tree.
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

// The lines of the run log that say what was granted, and what was not.
std::vector<std::wstring> grantLines(const FakePlatform& p) {
    std::vector<std::wstring> out;
    const auto found = p.appended.find(kDbPath + L".log");
    if (found == p.appended.end()) return out;
    for (const std::wstring& line : found->second) {
        const std::wstring text = line.substr(24);
        if (text.starts_with(L"Grant: ") || text.starts_with(L"Not granted ")) out.push_back(text);
    }
    return out;
}

std::wstring fileLine(const std::wstring& account, const std::wstring& sid) {
    return L"Grant: full control of \"" + kDbPath + L"\" to " + account + L" (" + sid + L"): done";
}

std::wstring folderLine(const std::wstring& account, const std::wstring& sid, const std::wstring& outcome) {
    return L"Grant: full control of \"D:\\Quorvin Data\" and everything below it to " + account + L" (" + sid + L"): " +
           outcome;
}

std::wstring noAccount(const std::wstring& name, const std::wstring& target) {
    return L"Grant: no account \"" + name + L"\" on this machine; nothing granted on \"" + target + L"\"";
}

// Which account each name of the grants becomes: the groups by SID in any
// language, the web server's accounts as its version has them, and a name
// without an account here given nothing, said in the log.
TEST(GrantsAccounts, EachNameBecomesTheAccountThisServerHas) {
    const car::Account admins{L"BUILTIN\\Administrators", L"S-1-5-32-544"};
    const car::Account users{L"BUILTIN\\Users", L"S-1-5-32-545"};
    const car::Account iisUsers{L"BUILTIN\\IIS_IUSRS", L"S-1-5-32-568"};
    const car::Account iusr{L"NT AUTHORITY\\IUSR", L"S-1-5-17"};
    const std::vector<car::Account> iis6{{L"SRV01\\ASPNET", L"S-1-5-21-9-1001"},
                                         {L"SRV01\\IIS_WPG", L"S-1-5-21-9-1002"},
                                         {L"SRV01\\IWAM_SRV01", L"S-1-5-21-9-1003"},
                                         {L"SRV01\\IUSR_SRV01", L"S-1-5-21-9-1004"}};
    const std::vector<car::Account> german{{L"VORDEFINIERT\\Administratoren", L"S-1-5-32-544"},
                                           {L"VORDEFINIERT\\Benutzer", L"S-1-5-32-545"}};
    struct Case {
        const char* label;
        std::optional<std::int64_t> iis;
        std::vector<car::Account> machine;  // besides the two groups, unless `localized`
        std::vector<car::Account> granted;  // in order, on the database and again on the folder
        std::vector<std::wstring> missing;  // names without an account
        bool localized = false;
    };
    const std::vector<Case> cases{
        {"IIS 6", 6, iis6, {admins, iis6[0], iis6[1], iis6[2], iis6[3], users}, {}},
        {"IIS 10", 10, {iisUsers, iusr}, {admins, iisUsers, iusr, users}, {L"ASPNET", L"IWAM_SRV01"}},
        {"IIS 10, its accounts missing",
         10,
         {},
         {admins, users},
         {L"ASPNET", L"IIS_WPG", L"IWAM_SRV01", L"IUSR_SRV01"}},
        {"no IIS", std::nullopt, {}, {admins, users}, {L"ASPNET", L"IIS_WPG", L"IWAM_SRV01", L"IUSR_SRV01"}},
        {"a German Windows",
         10,
         german,
         {german[0], german[1]},
         {L"ASPNET", L"IIS_WPG", L"IWAM_SRV01", L"IUSR_SRV01"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.install({true, true, false});
        h.platform.accounts = c.localized ? c.machine : std::vector<car::Account>{admins, users};
        if (!c.localized) h.platform.accounts.insert(h.platform.accounts.end(), c.machine.begin(), c.machine.end());
        if (c.iis) h.platform.setValue(kIisVersion, *c.iis);
        h.start();
        h.form.RunEvent([&] { h.form.cmdCompact_Click(); });
        std::vector<std::wstring> sids;
        for (const car::Account& a : c.granted) sids.push_back(a.sid);
        std::vector<std::wstring> expected;
        for (const car::Account& a : c.granted) expected.push_back(kDbPath + L" <- " + a.sid);
        for (const car::Account& a : c.granted) expected.push_back(L"D:\\Quorvin Data <- " + a.sid + L" inherited");
        for (const std::wstring& below : {kDbPath, h.form.BackupPath()}) {
            std::wstring all;
            for (const std::wstring& sid : sids) all += (all.empty() ? L"" : L",") + sid;
            expected.push_back(below + L" <- " + all);
        }
        EXPECT_EQ(h.platform.grants, expected);
        const std::vector<std::wstring> lines = grantLines(h.platform);
        for (const std::wstring& name : c.missing) {
            EXPECT_EQ(std::count(lines.begin(), lines.end(), noAccount(name, kDbPath)), 1) << narrow(name);
            EXPECT_EQ(std::count(lines.begin(), lines.end(), noAccount(name, L"D:\\Quorvin Data")), 1);
        }
        for (const car::Account& a : c.granted) {
            EXPECT_EQ(std::count(lines.begin(), lines.end(), fileLine(a.name, a.sid)), 1) << narrow(a.name);
            EXPECT_EQ(std::count(lines.begin(), lines.end(), folderLine(a.name, a.sid, L"done, 2 entries, 0 skipped")),
                      1);
        }
        EXPECT_EQ(lines.size(), 12U);
        // The localized groups are never looked up by their English names.
        EXPECT_EQ(h.log.count(L"accountByName administrators") + h.log.count(L"accountByName users"), 0U);
        EXPECT_TRUE(h.form.imgTick.Visible());
    }
}

// The folder grants walk a whole tree: only ever the database's own folder,
// never a drive's or a share's root nor "C:" (the current folder of drive C).
// The six file grants are made in every case, through a hold of the file.
TEST(GrantsTargets, FolderGrantsCoverOnlyTheDatabasesOwnFolder) {
    const std::vector<std::pair<std::wstring, std::wstring>> cases{
        {L"C:\\db.mdb", L""},
        {L"C:\\\\db.mdb", L""},
        {L"\\\\SRV\\Share\\db.mdb", L""},
        {L"\\\\SRV\\Share\\Data\\db.mdb", L"\\\\SRV\\Share\\Data"},
    };
    for (const auto& [dbPath, folder] : cases) {
        SCOPED_TRACE(narrow(dbPath));
        Harness g;
        g.platform.files[dbPath] = FakeFile{"data", false};
        g.form.txtDBPath.setCaption(dbPath);
        g.form.SetPermissions();
        std::vector<std::wstring> expected{dbPath + L" <- S-1-5-32-544", dbPath + L" <- S-1-5-32-545"};
        if (!folder.empty()) {
            expected.push_back(folder + L" <- S-1-5-32-544 inherited");
            expected.push_back(folder + L" <- S-1-5-32-545 inherited");
            expected.push_back(folder + L"\\" + dbPath.substr(dbPath.rfind(L'\\') + 1) +
                               L" <- S-1-5-32-544,S-1-5-32-545");
        }
        EXPECT_EQ(g.platform.grants, expected);
        EXPECT_EQ(g.form.lblStatus.Caption(), folder.empty() ? L"Setting Permissions...4" : L"Setting Permissions...9");
        EXPECT_TRUE(g.platform.launches.empty());
        EXPECT_TRUE(g.platform.heldFiles.empty() && g.platform.heldFolders.empty());  // its own holds let go
    }
}

// A user who may write the data folder changes its tree while the walk goes
// through it: between the listing and the open a folder becomes a junction,
// another a link that opens as a folder outside, and a file gets a second
// name. None of them, and nothing outside, is changed; each is logged, the
// walk goes on past an entry whose list cannot be changed, and the final
// text says how many were left out.
TEST(GrantsTree, WalkChangesNothingOutsideWhateverTheTreeBecomes) {
    Harness h;
    h.install({true, true, false});
    const std::wstring top = L"D:\\Quorvin Data";
    for (const wchar_t* name : {L"\\attachments\\a.doc", L"\\attachments\\deep\\b.doc", L"\\archive\\c.doc",
                                L"\\spool\\d.doc", L"\\x.cfg", L"\\locked.cfg"}) {
        h.platform.files[top + name] = FakeFile{"user data", false};
    }
    h.platform.files[L"D:\\Outside\\secret.txt"] = FakeFile{"not the suite's", false};
    h.platform.followedLinks[top + L"\\wine link"] = L"D:\\Outside";  // listed as a link already
    h.platform.grantRefused.insert(top + L"\\locked.cfg");
    h.start();
    h.platform.afterListing = [&](const std::wstring& folder) {
        if (folder != top) return;
        h.platform.reparsePoints.insert(top + L"\\attachments");
        h.platform.followedLinks[top + L"\\archive"] = L"D:\\Outside";
        h.platform.nameCounts[top + L"\\x.cfg"] = 2;
    };
    h.form.RunEvent([&] { h.form.cmdCompact_Click(); });

    for (const std::wstring& grant : h.platform.grants) {
        EXPECT_TRUE(grant.starts_with(top)) << narrow(grant);
        for (const wchar_t* left : {L"\\attachments", L"\\archive", L"\\x.cfg", L"\\locked.cfg", L"\\wine link"})
            EXPECT_FALSE(grant.starts_with(top + left)) << narrow(grant);
    }
    const std::wstring all = L" <- S-1-5-32-544,S-1-5-32-545";
    EXPECT_NE(std::find(h.platform.grants.begin(), h.platform.grants.end(), top + L"\\spool" + all + L" inherited"),
              h.platform.grants.end());
    EXPECT_NE(std::find(h.platform.grants.begin(), h.platform.grants.end(), top + L"\\spool\\d.doc" + all),
              h.platform.grants.end());
    const std::vector<std::wstring> lines = grantLines(h.platform);
    const auto logged = [&](const std::wstring& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(logged(L"Not granted on \"" + top +
                       L"\\attachments\": it became a junction after the folder was listed, which the grants do not "
                       L"follow"));
    EXPECT_TRUE(logged(L"Not granted on \"" + top +
                       L"\\archive\": it is no longer what the folder's listing named: it was replaced while the "
                       L"grants went through the tree"));
    EXPECT_TRUE(logged(L"Not granted on \"" + top +
                       L"\\x.cfg\": it has 2 names: another name of the file (a hard link) stands elsewhere"));
    EXPECT_TRUE(logged(L"Not granted on \"" + top +
                       L"\\wine link\": it is a junction, symbolic link or mount point, which the grants do not "
                       L"follow"));
    EXPECT_TRUE(logged(L"Not granted on \"" + top + L"\\locked.cfg\": error -2147024891, Access is denied."));
    // Below the folder: the database, its backup, spool and spool\d.doc.
    EXPECT_TRUE(logged(folderLine(L"BUILTIN\\Users", L"S-1-5-32-545", L"done, 4 entries, 5 skipped")));
    EXPECT_NE(h.form.lblStatus.Caption().find(
                  L"The permissions were not changed on 5 entries of the data folder's tree D:\\Quorvin Data"),
              std::wstring::npos);
    EXPECT_TRUE(h.form.imgTick.Visible());
}

}  // namespace
}  // namespace cartest

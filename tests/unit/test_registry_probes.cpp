// Reading the registry and telling whether keys and values exist.
#include <gtest/gtest.h>

#include "harness.h"
#include "sequence.h"

namespace cartest {
namespace {

const std::wstring kSoftware = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\";
constexpr std::int32_t kAccessDenied = car::hresult(0x80070005u);

struct ProbeRow {
    const wchar_t* label;
    std::wstring path;
    bool exists;                      // the answer of the probe that fits the path
    std::vector<std::wstring> reads;  // the reads that probe makes
};

// A registry with every kind of entry the probes must tell apart.
void script(FakePlatform& platform) {
    platform.setValue(kSoftware + L"WithDefault\\", std::wstring(L"default"));
    platform.addKey(kSoftware + L"NoDefault\\");
    platform.addKey(kSoftware + L"Bare\\");
    platform.setValue(kSoftware + L"NoDefault\\Name", std::wstring(L"text"));
    platform.setValue(kSoftware + L"NoDefault\\Empty", std::wstring());
    platform.setValue(kSoftware + L"NoDefault\\Number", std::int64_t{5});
    platform.setValue(kSoftware + L"NoDefault\\List", std::vector<std::wstring>{L"a", L"b"});
    platform.failRead(kSoftware + L"Locked\\", {kAccessDenied, L"Access is denied."});
    platform.failRead(kSoftware + L"NoDefault\\Secret", {kAccessDenied, L"Access is denied."});
}

std::vector<ProbeRow> rows() {
    const std::wstring nd = kSoftware + L"NoDefault\\";
    const std::wstring software = L"HKEY_LOCAL_MACHINE\\SOFTWARE";  // a value "SOFTWARE" in the root key
    return {
        {L"key with default value", kSoftware + L"WithDefault\\", true, {kSoftware + L"WithDefault\\"}},
        {L"key without default value", nd, true, {nd, kReference}},
        {L"key with no values at all", kSoftware + L"Bare\\", true, {kSoftware + L"Bare\\", kReference}},
        {L"missing key", kSoftware + L"Missing\\", false, {kSoftware + L"Missing\\", kReference}},
        {L"key under a missing root", L"HKEY_NOWHERE\\Foo\\", false, {L"HKEY_NOWHERE\\Foo\\", kReference}},
        {L"key whose read is refused", kSoftware + L"Locked\\", false, {kSoftware + L"Locked\\"}},
        {L"value with text", nd + L"Name", true, {nd + L"Name"}},
        {L"value with empty text", nd + L"Empty", true, {nd + L"Empty"}},
        {L"numeric value", nd + L"Number", true, {nd + L"Number"}},
        {L"multi-string value", nd + L"List", true, {nd + L"List"}},
        {L"missing value", nd + L"Absent", false, {nd + L"Absent"}},
        {L"value whose read is refused", nd + L"Secret", false, {nd + L"Secret"}},
        {L"value in a missing key", kSoftware + L"Missing\\Name", false, {kSoftware + L"Missing\\Name"}},
        {L"a root's subkey named as a value", software, false, {software}},
        {L"empty path", L"", false, {L""}},
    };
}

std::vector<std::wstring> reads(const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> out;
    for (const auto& p : paths) out.push_back(L"regRead " + p);
    return out;
}

TEST(RegistryProbes, EachProbeAnswersAndReadsAsItsPathAsks) {
    for (const ProbeRow& row : rows()) {
        SCOPED_TRACE(narrow(row.label));
        Harness h;
        script(h.platform);
        const bool isKey = row.path.ends_with(L'\\');

        EXPECT_EQ(h.form.RegistryItemExists(row.path), row.exists);
        EXPECT_EQ(h.log.entries(), reads(row.reads));

        h.log.clear();
        EXPECT_EQ(h.form.RegistryKeyExists(row.path), isKey && row.exists);
        EXPECT_EQ(h.log.entries(), isKey ? reads(row.reads) : std::vector<std::wstring>{});

        h.log.clear();
        EXPECT_EQ(h.form.RegistryValueExists(row.path), !isKey && row.exists);
        EXPECT_EQ(h.log.entries(), isKey ? std::vector<std::wstring>{} : reads(row.reads));
    }
}

// The key probe compares the two failures' wordings with every occurrence
// of each path taken out, exactly and with case.
TEST(RegistryProbes, KeyProbeComparesWordingsWithEveryOccurrenceOfThePathRemoved) {
    const std::wstring key = kSoftware + L"Twice\\";
    const std::wstring lowerKey = L"hkey_local_machine\\software\\twice\\";
    struct Case {
        const wchar_t* label;
        std::wstring probeWording;
        std::wstring referenceWording;
        bool exists;
    };
    const std::vector<Case> cases{
        {L"path twice in both", L"no key " + key + L" (" + key + L")",
         L"no key " + kReference + L" (" + kReference + L")", false},
        {L"path in another case", L"no key " + lowerKey, L"no key " + kReference, true},
        {L"wording differs in case only", L"No key " + key, L"no key " + kReference, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.label));
        Harness h;
        h.platform.failRead(key, {car::kFileNotFoundHr, c.probeWording});
        h.platform.failRead(kReference, {car::kFileNotFoundHr, c.referenceWording});
        EXPECT_EQ(h.form.RegistryItemExists(key), c.exists);
        EXPECT_EQ(h.form.RegistryKeyExists(key), c.exists);
    }
}

TEST(RegistryProbes, ReadRegReturnsTheDataAndPassesFailuresOnUnchanged) {
    Harness h;
    script(h.platform);
    EXPECT_EQ(h.form.ReadReg(kSoftware + L"NoDefault\\Name"), car::RegValue(std::wstring(L"text")));
    EXPECT_EQ(h.form.ReadReg(kSoftware + L"NoDefault\\Number"), car::RegValue(std::int64_t{5}));
    EXPECT_EQ(h.form.ReadReg(kSoftware + L"WithDefault\\"), car::RegValue(std::wstring(L"default")));

    const std::vector<std::pair<std::wstring, car::Error>> failures{
        {kSoftware + L"NoDefault\\Absent",
         {car::kFileNotFoundHr, FakePlatform::missingWording(kSoftware + L"NoDefault\\Absent")}},
        {kSoftware + L"Missing\\", {car::kFileNotFoundHr, FakePlatform::missingWording(kSoftware + L"Missing\\")}},
        {kSoftware + L"NoDefault\\",
         {car::kFileNotFoundHr, FakePlatform::noDefaultWording(kSoftware + L"NoDefault\\")}},
        {kSoftware + L"NoDefault\\Secret", {kAccessDenied, L"Access is denied."}},
    };
    for (const auto& [path, expected] : failures) {
        SCOPED_TRACE(narrow(path));
        h.log.clear();
        expectError([&] { h.form.ReadReg(path); }, expected);
        EXPECT_EQ(h.log.entries(), reads({path}));  // no reference read, no retry
    }
}

TEST(RegistryValues, ConvertLikeAScriptingRuntime) {
    EXPECT_EQ(car::RegValueToText(std::wstring(L"D:\\Data\\x.mdb")), L"D:\\Data\\x.mdb");
    EXPECT_EQ(car::RegValueToText(std::wstring()), L"");
    EXPECT_EQ(car::RegValueToText(std::int64_t{-7}), L"-7");
    EXPECT_EQ(car::RegValueToNumber(std::int64_t{1}), 1.0);
    EXPECT_EQ(car::RegValueToNumber(std::wstring(L"1")), 1.0);
    EXPECT_EQ(car::RegValueToNumber(std::wstring(L"0")), 0.0);

    // Arrays have no text or number; text that is no number has no number.
    const std::vector<car::RegValue> noText{std::vector<std::wstring>{L"a"}, std::vector<std::uint8_t>{1, 2}};
    for (const auto& value : noText) {
        EXPECT_THROW(car::RegValueToText(value), car::Error);
        EXPECT_THROW(car::RegValueToNumber(value), car::Error);
    }
    EXPECT_THROW(car::RegValueToNumber(std::wstring(L"x")), car::Error);
    try {
        car::RegValueToNumber(std::wstring(L"x"));
    } catch (const car::Error& e) {
        EXPECT_EQ(e.number, car::kTypeMismatch);
        EXPECT_FALSE(e.description.empty());
    }
}

}  // namespace
}  // namespace cartest

#include "harness.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace cartest {

void Harness::install(Products products, const std::wstring& dbPath) {
    platform.setValue(kDbqPath, dbPath);
    platform.files[dbPath] = FakeFile{"old data", false};
    platform.hostField = "SRV01";
    // Programs of other products run on every server and must survive.
    platform.addProcess(L"explorer.exe");
    if (products.teamharbor) {
        platform.setValue(kThKey + L"Setup\\Folder", kThFolder);
        platform.setValue(kThKey + L"Setup\\installAsExe", std::int64_t{0});
        platform.services.emplace_back(L"Teamharbor", true);
        platform.addProcess(L"THService.exe", kThFolder + L"\\THSERVICE.EXE");
        platform.addProcess(L"THAdmin.exe");
    }
    if (products.mailServer) {
        platform.setValue(kTpKey + L"Setup\\Folder", kTpFolder);
        platform.setValue(kTpKey + L"Setup\\installAsExe", std::int64_t{1});
        platform.files[kTpFolder + L"\\QMSSrv.EXE"] = FakeFile{"program", false};
        platform.services.emplace_back(L"Quorvin Mail Server", false);
        platform.addProcess(L"QMSSrv.exe", kTpFolder + L"\\QMSSrv.EXE");
        platform.addProcess(L"QMSSrv.exe", kTpFolder + L"\\QMSSrv.EXE");
        platform.addProcess(L"TPAdmin.exe");
    }
    if (products.organizer) {
        platform.addKey(kQoKey);                         // a key with no values at all
        platform.services.emplace_back(L"W3SVC", true);  // IIS's web service, which iisreset stops and starts
        // IIS 10, with its own accounts in place of IIS 6's.
        platform.setValue(kIisVersion, std::int64_t{10});
        platform.accounts.push_back({L"BUILTIN\\IIS_IUSRS", L"S-1-5-32-568"});
        platform.accounts.push_back({L"NT AUTHORITY\\IUSR", L"S-1-5-17"});
        platform.addProcess(L"QOAdmin.exe");
    }
}

void Harness::start() {
    form.Form_Initialize();
    form.Form_Load();
    form.CheckLastRun();
    log.clear();
}

car::Error errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const car::Error& error) {
        return error;
    }
    ADD_FAILURE() << "no failure";
    return {};
}

void expectError(const std::function<void()>& action, const car::Error& expected) {
    const car::Error error = errorOf(action);
    EXPECT_EQ(error.number, expected.number);
    EXPECT_EQ(error.description, expected.description);
}

bool showsError(const std::wstring& message, const car::Error& error) {
    if (message.find(error.description) == std::wstring::npos) return false;
    const auto bits = static_cast<std::uint32_t>(error.number);
    wchar_t upper[16];
    wchar_t lower[16];
    std::swprintf(upper, 16, L"%08X", bits);
    std::swprintf(lower, 16, L"%08x", bits);
    return message.find(std::to_wstring(error.number)) != std::wstring::npos ||
           message.find(upper) != std::wstring::npos || message.find(lower) != std::wstring::npos;
}

}  // namespace cartest

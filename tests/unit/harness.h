// A window wired to the fake platform and the headless view, plus a suite
// installation to run it against.
#pragma once

#include <functional>
#include <string>

#include "app/frmCompactAndRepair.h"
#include "event_log.h"
#include "fake_platform.h"
#include "headless_view.h"

namespace cartest {

inline const std::wstring kDbqPath = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\QuorvinCollaborationSuite\\DBQ";
inline const std::wstring kThKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teamharbor\\";
inline const std::wstring kTpKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teampost\\";
inline const std::wstring kQoKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\QuorvinOrganizer\\";
inline const std::wstring kReference = L"HKEY_ERROR\\";
inline const std::wstring kDbPath = L"D:\\Quorvin Data\\suite.mdb";
// The run's record that the next start acts on, in the folder only administrators write.
inline const std::wstring kRecordPath = L"C:\\ProgramData\\Compact And Repair\\d__quorvin data_suite.mdb.log";
inline const std::wstring kIisVersion = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\InetStp\\MajorVersion";
inline const std::wstring kThFolder = L"C:\\Program Files\\Quorvin\\Teamharbor";
inline const std::wstring kTpFolder = L"C:\\QMS";

struct Products {
    bool teamharbor = false;
    bool mailServer = false;
    bool organizer = false;
};

struct Harness {
    Harness() = default;
    // Installed and started: the Ready window on that server.
    explicit Harness(Products products) {
        install(products);
        start();
    }

    EventLog log;
    FakePlatform platform{log};
    HeadlessView view{log};
    car::frmCompactAndRepair form{platform, view};

    // The data source, the database file, the host name and, per product,
    // its key, setup values, service and running programs. Teamharbor runs
    // as a service, the mail server as a program.
    void install(Products products, const std::wstring& dbPath = kDbPath);
    // Initialize, Load and the look at the last run, then an empty log: the
    // window as the user first sees it.
    void start();
};

// The Error that `action` throws; a test failure, and an Error without number
// or description, when it throws none.
car::Error errorOf(const std::function<void()>& action);
// `action` throws an Error with exactly this number and description.
void expectError(const std::function<void()>& action, const car::Error& expected);

// The message the boundary shows for an error names its number and its
// description; the number may be written in decimal or in hexadecimal.
bool showsError(const std::wstring& message, const car::Error& error);

}  // namespace cartest

// What the program knows of the suite it maintains: where the data source and
// the products are registered, and the names of their services and programs.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace car::suite {

inline constexpr std::wstring_view kDataSourceDbq =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\QuorvinCollaborationSuite\\DBQ";
inline constexpr std::wstring_view kTeamharborKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teamharbor\\";
inline constexpr std::wstring_view kTeampostKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\Teampost\\";
inline constexpr std::wstring_view kOrganizerKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\QuorvinOrganizer\\";

inline constexpr std::wstring_view kTeamharborService = L"Teamharbor";
inline constexpr std::wstring_view kMailServerService = L"Quorvin Mail Server";

// The suite's programs that a run closes, in the order it ends them: the two
// servers (when installed as programs), then the administration programs.
inline constexpr std::array<std::wstring_view, 2> kServerPrograms{L"THService.exe", L"QMSSrv.exe"};
inline constexpr std::array<std::wstring_view, 3> kAdminPrograms{L"THAdmin.exe", L"TPAdmin.exe", L"QOAdmin.exe"};

inline constexpr std::wstring_view kWmiMoniker = L"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2";

// The WMI queries for the processes of one file name and for one service.
inline std::wstring ProcessQuery(const std::wstring& fileName) {
    return L"SELECT * FROM Win32_Process WHERE Name = '" + fileName + L"'";
}
inline std::wstring ServiceQuery(const std::wstring& serviceName) {
    return L"Select * from Win32_Service Where Name ='" + serviceName + L"'";
}

}  // namespace car::suite

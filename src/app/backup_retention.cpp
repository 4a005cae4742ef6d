#include "app/backup_retention.h"

#include <algorithm>
#include <cwctype>
#include <vector>

namespace car {
namespace {

// "<database name>.<0 to 899 in plain digits>.tmpBackup", as the run names
// its backups; nothing else beside the database is taken for one.
bool IsBackupOf(const std::wstring& name, const std::wstring& dbName) {
    constexpr std::wstring_view kEnding = L".tmpBackup";
    const std::wstring lowered = lowerCase(name);
    const std::wstring prefix = lowerCase(dbName) + L".";
    if (!lowered.starts_with(prefix) || !lowered.ends_with(lowerCase(std::wstring(kEnding)))) return false;
    const std::wstring number = name.substr(prefix.size(), name.size() - prefix.size() - kEnding.size());
    if (number.empty() || number.size() > 3 || (number.size() > 1 && number[0] == L'0')) return false;
    if (!std::all_of(number.begin(), number.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) return false;
    return std::stoi(number) < 900;
}

}  // namespace

bool BackupRetention::setKeep(const std::wstring& argument) {
    const std::wstring word = lowerCase(argument);
    if (!word.starts_with(L"/keep:") && !word.starts_with(L"-keep:")) return false;
    const std::wstring number = word.substr(6);
    if (number.empty() || number.size() > 2 || number[0] == L'0' ||
        !std::all_of(number.begin(), number.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
        return false;
    }
    keep_ = std::stoi(number);
    return true;
}

void BackupRetention::trim(const std::wstring& dbPath, const std::wstring& currentBackup) {
    if (keep_ == 0) return;
    const std::size_t cut = dbPath.rfind(L'\\');
    const std::wstring folder = cut == std::wstring::npos ? std::wstring() : dbPath.substr(0, cut + 1);
    const std::wstring dbName = cut == std::wstring::npos ? dbPath : dbPath.substr(cut + 1);
    std::vector<FolderEntry> older;
    try {
        for (FolderEntry& entry : platform_.filesEndingIn(folder, L".tmpBackup")) {
            if (IsBackupOf(entry.name, dbName) && lowerCase(folder + entry.name) != lowerCase(currentBackup)) {
                older.push_back(std::move(entry));
            }
        }
    } catch (const Error& error) {
        log_.write(L"The old backups could not be listed (" + errorSummary(error) + L")");
        return;
    }
    // This run's backup is one of those kept.
    const auto kept = static_cast<std::size_t>(keep_ - 1);
    if (older.size() <= kept) return;
    std::sort(older.begin(), older.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.lastWrite < b.lastWrite; });
    for (std::size_t i = 0; i + kept < older.size(); ++i) {
        const std::wstring path = folder + older[i].name;
        try {
            platform_.deleteFile(path);
            log_.write(L"Deleted the old backup " + path);
        } catch (const Error& error) {
            log_.write(L"The old backup " + path + L" could not be deleted (" + errorSummary(error) + L")");
        }
    }
}

}  // namespace car

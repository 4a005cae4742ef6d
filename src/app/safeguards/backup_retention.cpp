#include "app/safeguards/backup_retention.h"

#include <algorithm>
#include <vector>

#include "app/safeguards/temp_names.h"

namespace car {

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
    std::vector<FolderEntry> older;
    try {
        for (FolderEntry& entry : platform_.filesEndingIn(folder, L".tmpBackup")) {
            if (IsRunFileOf(folder + entry.name, dbPath, L".tmpBackup") &&
                lowerCase(folder + entry.name) != lowerCase(currentBackup)) {
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

#include <algorithm>
#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {
namespace {

constexpr wchar_t kUsage[] =
    L"Usage: CompactAndRepair.exe [/unattended] [/keep:N] [/check]\r\n\r\n"
    L"Without an argument the window waits for \"Compact and Repair Database\" to be pressed.\r\n\r\n"
    L"/unattended  compacts and repairs the database at once, without a person: no message box is shown, "
    L"everything goes to the run log beside the database (its name with \".log\" added), and a failure starts "
    L"again what the run stopped. The program then ends by itself with its exit code:\r\n"
    L"0 done, every product running again; 1 an error ended the run; 2 no JET data source; 3 the database "
    L"could not be compacted; 4 a check before the run failed, nothing was stopped; 5 done, but a product is "
    L"not running again; 6 an unknown argument; 7 done, but the run log could not be written; 8 a service did not "
    L"stop, or the compacted copy lacked data: the database is unchanged and the suite was started again; 9 done, "
    L"the database could not be read before and was repaired.\r\n\r\n"
    L"/keep:N  after a run that finished, deletes the oldest backups of the database (its name with "
    L"\".<number>.tmpBackup\" added, beside it) until N (1 to 99) remain, this run's among them.\r\n\r\n"
    L"/check  makes every check a run makes before it stops anything, and says what of the suite is installed "
    L"and running now, without a run: exit code 0 when a run could start now, 4 when it could not.";

bool IsUnattendedSwitch(const std::wstring& argument) {
    const std::wstring word = lowerCase(argument);
    return word == L"/unattended" || word == L"-unattended";
}

}  // namespace

bool frmCompactAndRepair::IsUnattended(const std::vector<std::wstring>& arguments) {
    return std::any_of(arguments.begin(), arguments.end(), IsUnattendedSwitch);
}

void frmCompactAndRepair::ApplyArguments(const std::vector<std::wstring>& arguments) {
    // Whatever else stands beside it: a scheduled run has nobody to answer
    // a box, and one would wait for ever.
    unattended_ = IsUnattended(arguments);
    bool usage = false;
    std::wstring unknown;
    for (const std::wstring& argument : arguments) {
        const std::wstring word = lowerCase(argument);
        if (IsUnattendedSwitch(argument) || backups_.setKeep(argument)) continue;
        if (word == L"/check" || word == L"-check") {
            checkOnly_ = true;
        } else if (word == L"/?" || word == L"-?" || word == L"/help") {
            usage = true;
        } else if (unknown.empty()) {
            unknown = argument;
        }
    }
    if (usage) {
        if (!unattended_) platform_.showMessage(kUsage);
        platform_.endProgram(kExitLeft);
    }
    if (!unknown.empty()) {
        // Nothing has been touched yet.
        if (!unattended_) platform_.showMessage(L"Unknown argument: " + unknown + L"\r\n\r\n" + kUsage);
        platform_.endProgram(kExitBadArgument);
    }
    ending_.SetMode(unattended_, checkOnly_);
}

void frmCompactAndRepair::StartRun(const std::wstring& dbPath) {
    result_ = RunResult::None;
    figures_.Clear();
    log_.beginRecord(dbPath, GetHostName(), unattended_ ? L", unattended" : L"");
}

void frmCompactAndRepair::RunUnattended() {
    cmdCompact_Click();
    switch (result_) {
        case RunResult::Refused:
            ending_.End(kExitRefused, L"refused, nothing was stopped");
        case RunResult::NotAllBack:
            ending_.End(kExitNotAllBack, L"finished, but not every product is running again");
        case RunResult::Repaired:
            ending_.End(kExitRepaired, L"finished, the database was repaired");
        case RunResult::Finished:
        case RunResult::None:
            break;
    }
    ending_.End(log_.failure().empty() ? kExitLeft : kExitLogNotWritten, L"finished");
}

}  // namespace car

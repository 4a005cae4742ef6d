#include "app/safeguards/command_line.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace car {
namespace {

constexpr wchar_t kUsage[] =
    L"Usage: CompactAndRepair.exe [/unattended] [/keep:N] [/check | /recover]\r\n\r\n"
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
    L"and running now, without a run: exit code 0 when a run could start now, 4 when it could not.\r\n\r\n"
    L"/recover  deals with a run that was cut short, and nothing else: the database put back under its name, the "
    L"engine's leftover copy removed, what is installed and not running started again (without /unattended, "
    L"when you say so). Exit code 0 when the last run ended or everything runs now, 1 when the database could not "
    L"be put back, 5 when a product could not be started.";

bool IsUnattendedSwitch(const std::wstring& argument) {
    const std::wstring word = lowerCase(argument);
    return word == L"/unattended" || word == L"-unattended";
}

}  // namespace

CommandLine::CommandLine(const std::vector<std::wstring>& arguments,
                         const std::function<bool(const std::wstring&)>& taken)
    // Whatever else stands beside it: a scheduled run has nobody to answer
    // a box, and one would wait for ever.
    : unattended_(IsUnattended(arguments)) {
    for (const std::wstring& argument : arguments) {
        const std::wstring word = lowerCase(argument);
        if (IsUnattendedSwitch(argument) || taken(argument)) continue;
        if (word == L"/check" || word == L"-check") {
            checkOnly_ = true;
        } else if (word == L"/recover" || word == L"-recover") {
            recoverOnly_ = true;
        } else if (word == L"/?" || word == L"-?" || word == L"/help") {
            usage_ = true;
        } else if (unknown_.empty()) {
            unknown_ = argument;
        }
    }
}

bool CommandLine::IsUnattended(const std::vector<std::wstring>& arguments) {
    return std::any_of(arguments.begin(), arguments.end(), IsUnattendedSwitch);
}

const wchar_t* CommandLine::Usage() { return kUsage; }

}  // namespace car

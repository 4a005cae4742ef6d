#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/safeguards/command_line.h"

namespace car {

void frmCompactAndRepair::ApplyArguments(const std::vector<std::wstring>& arguments) {
    const CommandLine line(arguments, [this](const std::wstring& argument) { return backups_.setKeep(argument); });
    unattended_ = line.unattended();
    checkOnly_ = line.checkOnly();
    recoverOnly_ = line.recoverOnly();
    if (line.usage()) {
        if (!unattended_) platform_.showMessage(CommandLine::Usage());
        platform_.endProgram(kExitLeft);
    }
    if (!line.unknown().empty()) {
        // Nothing has been touched yet.
        if (!unattended_) {
            platform_.showMessage(L"Unknown argument: " + line.unknown() + L"\r\n\r\n" + CommandLine::Usage());
        }
        platform_.endProgram(kExitBadArgument);
    }
    ending_.SetMode(unattended_, checkOnly_);
}

void frmCompactAndRepair::RunCheck() {
    const CheckWithoutRun::Result result = checkWithoutRun_.Run(txtDBPath.Caption());
    ending_.End(result.exitCode, result.outcome, result.report);
}

void frmCompactAndRepair::CheckLastRun() {
    const std::wstring dbPath = txtDBPath.Caption();
    if (checkOnly_ || dbPath.empty()) return;
    // Unattended, the run's own log says it.
    if (const std::wstring problem = log_.records().Open(); !problem.empty() && !unattended_) {
        platform_.showMessage(problem);
    }
    if (const auto lost = interrupted_.Find(dbPath, unattended_)) ending_.End(kExitError, lost->outcome, lost->message);
}

void frmCompactAndRepair::RunRecover() {
    CheckLastRun();
    const bool allBack = interrupted_.AllBack();
    ending_.End(allBack ? kExitLeft : kExitNotAllBack,
                allBack ? L"recovery: everything runs" : L"recovery: not every product is running again");
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

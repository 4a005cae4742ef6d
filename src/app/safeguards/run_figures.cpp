#include "app/safeguards/run_figures.h"

namespace car {
namespace {

std::wstring Figure(const std::optional<std::uint64_t>& value) {
    return value ? std::to_wstring(*value) : std::wstring();
}

}  // namespace

void RunFigures::SuiteStopping() {
    if (!stoppedAt_) stoppedAt_ = platform_.milliseconds();
}

void RunFigures::SuiteBack() {
    if (!stoppedAt_ || downMs_) return;
    downMs_ = platform_.milliseconds() - *stoppedAt_;
    log_.write(L"The suite was down for " + std::to_wstring(*downMs_ / 1000) + L" s");
}

void RunFigures::ReportEvent(const std::wstring& outcome, int exitCode, const std::wstring& database,
                             const std::wstring& backup, const std::wstring& verification) {
    // A warning when something wants a look but the suite runs on a database
    // that is whole: a product not back, a refused run, a database left as it
    // was (a service that did not stop, a copy that lacked data), a repair.
    const bool warning = exitCode == kExitNotAllBack || exitCode == kExitRefused || exitCode == kExitCopyLostData ||
                         exitCode == kExitRepaired;
    const EventKind kind = exitCode == kExitLeft ? EventKind::Information
                           : warning             ? EventKind::Warning
                                                 : EventKind::Error;
    try {
        platform_.reportEvent(kind, EventFields(outcome, exitCode, database, backup, verification));
    } catch (const Error& error) {
        log_.write(L"The outcome could not be written to the event log (" + errorSummary(error) + L")");
    }
}

std::vector<std::wstring> RunFigures::EventFields(const std::wstring& outcome, int exitCode,
                                                  const std::wstring& database, const std::wstring& backup,
                                                  const std::wstring& verification) const {
    return {outcome,
            std::to_wstring(exitCode),
            database,
            backup,
            Figure(sizeBefore_),
            Figure(sizeAfter_),
            downMs_ ? std::to_wstring(*downMs_ / 1000) : std::wstring(),
            verification,
            database.empty() ? std::wstring() : database + L".log"};
}

}  // namespace car

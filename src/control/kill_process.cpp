#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {

void frmCompactAndRepair::KillProcess(const std::wstring& KProcess) {
    // Ending a process of another account (a server running as LocalSystem)
    // takes the debug privilege; WMI's provider acts with the caller's
    // privileges as they are when it connects and calls.
    const std::unique_ptr<Held> debug = platform_.enablePrivilege(Privilege::Debug);
    auto wmi = platform_.connectWmi(std::wstring(suite::kWmiMoniker));
    // A failing termination stops here: the processes after it are left alone
    // and the failure goes to the caller. A process that ended by itself since
    // the query is what was asked for. Each end is recorded before it is
    // asked for, since one whose answer never comes may still go through.
    bool ended = false;
    const std::vector<WmiObject> processes = wmi->execQuery(suite::ProcessQuery(KProcess));
    for (const WmiObject& process : processes) {
        stopped_.programEnded(KProcess);
        try {
            const std::uint32_t result = wmi->execMethod(process, L"Terminate");
            log_.write(L"Terminate " + process.name + L" (pid " + std::to_wstring(process.processId) + L"): " +
                       std::to_wstring(result));
            ended = ended || result == 0;
        } catch (const Error& error) {
            if (error.number != kWmiNotFound) throw;
            log_.write(process.name + L" (pid " + std::to_wstring(process.processId) + L") had already ended");
        }
    }
    // None left to end (they closed when asked, or never ran) leaves the
    // record as it is.
    if (!processes.empty() && !ended) stopped_.programStarted(KProcess);
}

}  // namespace car

#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/joined.h"
#include "app/last_run.h"
#include "app/temp_names.h"
#include "app/version.h"

namespace car {
namespace {

constexpr std::size_t kLogTailBytes = 1 << 20;

}  // namespace

// A run that was killed (Task Manager, a crash, a forced restart) leaves no
// outcome in its log and may have left the suite stopped: the next start
// finds it, says what is not running, and starts it again (unattended at
// once, with a person when asked); the engine's unfinished copy goes.
void frmCompactAndRepair::CheckLastRun() {
    const std::wstring dbPath = txtDBPath.Caption();
    if (checkOnly_ || dbPath.empty()) return;
    const std::optional<std::wstring> tail = platform_.readTextTail(dbPath + L".log", kLogTailBytes);
    if (!tail) return;
    const LastRun last = LastRun::parse(*tail);
    // A run in progress holds the machine's lock: its log has no outcome yet
    // because it is not over, and what it stopped is its own to start again.
    if (!last.interrupted || !guard_.lockMachine()) return;

    // A record of its own, with its outcome, so that the next start finds nothing more.
    log_.begin(dbPath + L".log", L"Compact And Repair " + std::wstring(kProgramVersion) + L" on " + GetHostName() +
                                     L", database " + dbPath + L", after an interrupted run");
    log_.write(L"The last run, started " + last.startedAt + L", has no outcome: it was interrupted" +
               (last.lastStatus.empty() ? L"" : L" at \"" + last.lastStatus + L"\""));
    if (!last.copy.empty() && IsRunFileOf(last.copy, dbPath, L".tmp") && platform_.pathInfo(last.copy).exists) {
        try {
            platform_.deleteFile(last.copy);
            log_.write(L"Removed the engine's unfinished copy " + last.copy);
        } catch (const Error& error) {
            log_.write(L"The engine's unfinished copy " + last.copy + L" could not be removed (" + errorSummary(error) +
                       L")");
        }
    }
    std::vector<ProductState> down;
    std::vector<std::wstring> downNames;
    for (ProductState& product : SuiteState()) {
        if (!product.installed || product.runs) continue;
        downNames.push_back(product.name);
        down.push_back(std::move(product));
    }
    std::wstring answer = L"nothing to start";
    if (!down.empty()) {
        log_.write(L"Not running now: " + JoinedWithAnd(downNames));
        bool start = unattended_;
        if (!unattended_) {
            start =
                platform_.askYesNo(L"The last run of Compact And Repair, started " + last.startedAt + L", did not end" +
                                   (last.lastStatus.empty() ? std::wstring(L".")
                                                            : L": its last status was \"" + last.lastStatus + L"\".") +
                                   L"\r\n\r\nNot running now: " + JoinedWithAnd(downNames) + L".\r\n\r\nStart " +
                                   (down.size() == 1 ? L"it" : L"them") + L" again now?");
            log_.write(start ? L"Answer: Yes, start them again" : L"Answer: No, leave everything as it is");
        }
        if (start) {
            for (const ProductState& product : down) (this->*product.startAgain)();
            AwaitIisStart();
            const std::wstring notBack = ProductsNotBack();
            restarted_.clear();
            answer = notBack.empty() ? L"started again" : L"started again, but not all:" + notBack;
        } else {
            answer = L"left as it was";
        }
    }
    log_.write(L"Outcome: interrupted run found, " + answer + L"; after " + std::to_wstring(log_.elapsedMs()) + L" ms");
    EndRun();
}

}  // namespace car

#include <string>
#include <vector>

#include "app/frmCompactAndRepair.h"
#include "app/joined.h"

namespace car {
namespace {

// A server under load can take longer than the fixed waits to let go of
// the database; the compaction would then fail with the suite stopped.
constexpr int kMostStepsToWait = 120;  // progress steps of half a second: one minute
constexpr int kStepsPerHolderLookup = 4;

}  // namespace

// Waits, in progress steps, until no other process holds the database open,
// and at most a minute; then the compaction goes ahead either way and fails
// its own way if the file is still held. A file free at once costs nothing.
void frmCompactAndRepair::WaitUntilReleased(const std::wstring& dbPath) {
    if (!platform_.fileInUse(dbPath)) return;
    const std::wstring compacting = lblStatus.Caption();
    std::wstring holders;
    for (int step = 0; step < kMostStepsToWait; ++step) {
        if (step % kStepsPerHolderLookup == 0) holders = JoinedWithAnd(platform_.fileHolders(dbPath));
        const std::wstring seconds =
            std::to_wstring(step / 2) + L" s of at most " + std::to_wstring(kMostStepsToWait / 2) + L" s";
        lblStatus.setCaption(holders.empty() ? L"Waiting for the database to be closed... " + seconds
                                             : L"Waiting for " + holders + L" to close the database... " + seconds);
        anicompress();
        if (!platform_.fileInUse(dbPath)) break;
    }
    lblStatus.setCaption(compacting);
}

}  // namespace car

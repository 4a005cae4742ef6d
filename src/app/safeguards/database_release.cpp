#include "app/safeguards/database_release.h"

#include <string>
#include <vector>

#include "app/joined.h"

namespace car {
namespace {

constexpr int kMostStepsToWait = 120;  // progress steps of half a second: one minute
constexpr int kStepsPerHolderLookup = 4;

}  // namespace

void DatabaseRelease::Await(const std::wstring& dbPath, std::wstring status) {
    if (!platform_.fileInUse(dbPath)) return;
    std::wstring holders;
    for (int step = 0; step < kMostStepsToWait; ++step) {
        if (step % kStepsPerHolderLookup == 0) holders = JoinedWithAnd(platform_.fileHolders(dbPath));
        const std::wstring seconds =
            std::to_wstring(step / 2) + L" s of at most " + std::to_wstring(kMostStepsToWait / 2) + L" s";
        steps_.status(holders.empty() ? L"Waiting for the database to be closed... " + seconds
                                      : L"Waiting for " + holders + L" to close the database... " + seconds);
        steps_.step();
        if (!platform_.fileInUse(dbPath)) break;
    }
    steps_.status(status);
}

}  // namespace car

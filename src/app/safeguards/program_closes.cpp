#include "app/safeguards/program_closes.h"

#include <algorithm>

#include "app/joined.h"

namespace car {
namespace {

constexpr std::uint64_t kMostMs = 60'000;
// A healthy program closes within moments: until then the run reads the
// process list often and says nothing, so that an ordinary run shows no new
// text and loses no progress step. The database being free ends the wait
// only after this too, so that a program still closing is not ended for it.
constexpr std::uint64_t kQuietMs = 2'000;
constexpr std::uint32_t kQuietReadingMs = 50;

std::wstring Named(const std::wstring& name, std::uint32_t processId) {
    return name + L" (pid " + std::to_wstring(processId) + L")";
}

}  // namespace

void ProgramCloses::AskAndAwait(const std::vector<std::wstring>& names, const std::wstring& dbPath) {
    try {
        std::vector<Asked> asked = AskAll(names);
        if (asked.empty()) return;
        bool databaseFree = false;
        const std::uint64_t waited = Await(asked, dbPath, databaseFree);
        for (const Asked& process : asked) {
            log_.write(Named(process.name, process.processId) +
                       (databaseFree
                            ? L" did not close within " + std::to_wstring(waited / 1000) +
                                  L" s, and the database is free; it is ended"
                            : L" did not close within " + std::to_wstring(kMostMs / 1000) + L" s; it is ended"));
        }
    } catch (const Error& error) {
        // The ends that follow are what the run always did.
        log_.write(L"The programs could not be asked to close (" + errorSummary(error) + L"); they are ended");
    }
}

std::vector<ProgramCloses::Asked> ProgramCloses::AskAll(const std::vector<std::wstring>& names) {
    std::vector<Asked> asked;
    for (const std::wstring& name : names) {
        for (const std::uint32_t processId : platform_.processesNamed(name)) {
            // Recorded before it is asked: it may close before anything else is read.
            stopped_.programEnded(name);
            if (platform_.askToClose(processId)) {
                asked.push_back({name, processId});
            } else {
                log_.write(Named(name, processId) + L" has no window to be asked to close; it is ended");
            }
        }
    }
    return asked;
}

std::vector<std::wstring> ProgramCloses::Names(const std::vector<Asked>& asked) {
    std::vector<std::wstring> names;
    for (const Asked& process : asked) {
        if (std::find(names.begin(), names.end(), process.name) == names.end()) names.push_back(process.name);
    }
    return names;
}

void ProgramCloses::DropClosed(std::vector<Asked>& asked) {
    for (const std::wstring& name : Names(asked)) {
        const std::vector<std::uint32_t> running = platform_.processesNamed(name);
        std::erase_if(asked, [&](const Asked& process) {
            if (process.name != name || std::find(running.begin(), running.end(), process.processId) != running.end())
                return false;
            log_.write(Named(process.name, process.processId) + L" closed when asked");
            return true;
        });
    }
}

std::uint64_t ProgramCloses::Await(std::vector<Asked>& asked, const std::wstring& dbPath, bool& databaseFree) {
    const std::uint64_t start = platform_.milliseconds();
    for (;;) {
        DropClosed(asked);
        const std::uint64_t waited = platform_.milliseconds() - start;
        if (asked.empty() || waited >= kMostMs) return waited;
        if (waited < kQuietMs) {
            platform_.pumpMessages();
            platform_.sleep(kQuietReadingMs);
            continue;
        }
        if (!platform_.fileInUse(dbPath)) {
            databaseFree = true;
            return waited;
        }
        steps_.status(L"Waiting for " + JoinedWithAnd(Names(asked)) + L" to close... " +
                      std::to_wstring(waited / 1000) + L" s of at most " + std::to_wstring(kMostMs / 1000) + L" s");
        steps_.step();
    }
}

}  // namespace car

// The last run as its log tells it: a run writes its outcome line at its
// end, so a last run without one was cut short (killed, a crash, a forced
// restart), and may have left the suite stopped, the engine's copy behind
// or, killed in the middle of the swap, nothing under the database's name.
//
// The log holds records, each opened by a header line and written only by a
// program that holds the machine's lock, so records never interleave. A
// check's record is no run; a later record of a start that dealt with the
// interruption, once it has its outcome, settles it. A start that was
// refused the lock writes one line that is neither a header nor an outcome.
#pragma once

#include <string>
#include <vector>

namespace car {

// The kinds of record, told by how the header ends.
inline constexpr wchar_t kCheckRecord[] = L", check only";
inline constexpr wchar_t kRecoveryRecord[] = L", after an interrupted run";

// The lines a run writes just before the swap, naming both files, so that a
// start after a kill in the middle of it can put the database back.
inline constexpr wchar_t kSwapCopyLine[] = L"Swap begins; compacted copy: ";
inline constexpr wchar_t kSwapBackupLine[] = L"Swap begins; backup name: ";
// A dependent service the run stopped through the service control manager.
inline constexpr wchar_t kDependentStopLine[] = L"Stopping the dependent service ";

struct LastRun {
    bool interrupted = false;
    bool finished = false;    // its outcome says it finished
    std::wstring startedAt;   // the time stamp of its first line
    std::wstring lastStatus;  // the last status it logged; empty if none
    std::wstring copy;        // the engine's copy it named before compacting; empty if none
    std::wstring swapCopy;    // the two names it logged as its swap began; empty if it never began
    std::wstring swapBackup;
    std::vector<std::wstring> dependents;  // dependent services it stopped

    // Reads the end of a run log; a text without any run is no finding.
    static LastRun parse(const std::wstring& logText);
};

}  // namespace car

// The last run as its log tells it: a run writes its outcome line at its
// end, so a last run without one was cut short (killed, a crash, a forced
// restart), and may have left the suite stopped and the engine's copy behind.
#pragma once

#include <string>

namespace car {

struct LastRun {
    bool interrupted = false;
    std::wstring startedAt;   // the time stamp of its first line
    std::wstring lastStatus;  // the last status it logged; empty if none
    std::wstring copy;        // the engine's copy it named before compacting; empty if none

    // Reads the end of a run log; a text without any run is no finding.
    static LastRun parse(const std::wstring& logText);
};

}  // namespace car

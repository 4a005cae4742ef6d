// The one thread that makes the program's WMI calls, with a COM apartment and
// connections of its own, kept from call to call: connecting costs more than
// most calls. WMI may stop answering, so every call is waited for with a
// limit, and a worker that did not answer is left to itself while the next
// call starts a fresh one.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

struct IWbemServices;

namespace car::win32 {

// What a call does on the worker's thread with the worker's connection to
// the call's namespace; what it throws reaches the caller.
using WmiWork = std::function<void(IWbemServices&)>;
// How the caller waits for the event that tells a call has run: true once it
// is set, false when the time (milliseconds) is up.
using WmiWait = std::function<bool(HANDLE done, DWORD limitMs)>;

// A healthy call takes well under a second; a WMI service that stops
// answering must not hold the run, with the suite stopped, for ever.
inline constexpr DWORD kWmiCallLimitMs = 120'000;

// "WMI did not answer WHAT within two minutes." with the number of a timeout.
[[noreturn]] void throwWmiUnanswered(const std::wstring& what);

// Throws a failed HRESULT with WMI's own words for it.
void checkWmi(HRESULT hr);

class WmiWorkers {
public:
    WmiWorkers() = default;
    WmiWorkers(const WmiWorkers&) = delete;
    WmiWorkers& operator=(const WmiWorkers&) = delete;
    // An idle worker is told to stop and is given a few seconds to leave its
    // apartment; one that is still inside a call is left to it.
    ~WmiWorkers();

    // Runs the work on the worker (started on first use) with its connection
    // to the namespace (made when the first call needs it, impersonating the
    // caller) and waits for it; rethrows what the work threw. When the wait
    // gives up, the call fails as unanswered ("WMI did not answer WHAT ...").
    void run(const std::wstring& wmiNamespace, const std::wstring& what, WmiWork work, const WmiWait& wait);

private:
    class Worker;
    std::shared_ptr<Worker> current_;
};

}  // namespace car::win32

// What a run has stopped and not yet started again: the services it asked to
// stop (recorded before each request, since a request whose answer never
// comes may still go through), the dependent services it stopped first, the
// programs it ended and IIS. An error that ends the program part-way names
// them, so that the administrator knows what to start again or to keep
// stopped for a repair by hand.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace car {

class StoppedByRun {
public:
    void serviceStopped(const std::wstring& name) { add(services_, name); }
    void serviceStarted(const std::wstring& name) { remove(services_, name); }
    void dependentStopped(const std::wstring& name) { add(dependents_, name); }
    void dependentStarted(const std::wstring& name) { remove(dependents_, name); }
    void programEnded(const std::wstring& name) { add(programs_, name); }
    void programStarted(const std::wstring& name) { remove(programs_, name); }
    void iisStopped(bool stopped) { iis_ = stopped; }
    bool iisStopped() const { return iis_; }

    const std::vector<std::wstring>& services() const { return services_; }
    const std::vector<std::wstring>& dependents() const { return dependents_; }
    bool empty() const { return services_.empty() && dependents_.empty() && programs_.empty() && !iis_; }
    // Drops what runs after all (a request that never went through), as the
    // service control manager and the process list tell it now; what cannot
    // be read is kept.
    void forgetRunning(Platform& platform);
    // Lines for a message box; empty when nothing is left stopped.
    std::wstring describe() const;

private:
    static void add(std::vector<std::wstring>& list, const std::wstring& name);
    static void remove(std::vector<std::wstring>& list, const std::wstring& name);

    std::vector<std::wstring> services_;
    std::vector<std::wstring> dependents_;
    std::vector<std::wstring> programs_;
    bool iis_ = false;
};

}  // namespace car

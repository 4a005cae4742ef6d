#include <string>

#include "app/frmCompactAndRepair.h"

namespace car {
namespace {

constexpr std::uint32_t kIisStartTimeoutMs = 180'000;

}  // namespace

// On a busy server "iisreset /stop" takes far longer than the run's five
// steps; IIS started again while it still stops may stay down. The run waits
// for it in progress steps, at most three minutes; one done in time costs
// nothing.
void frmCompactAndRepair::AwaitIisStop(std::uint32_t process) {
    std::optional<std::uint32_t> exitCode;
    bool ended = platform_.awaitProcess(process, 0, &exitCode);
    const std::wstring stopping = lblStatus.Caption();
    for (int step = 0; !ended && step < kMostStepsForIis; ++step) {
        lblStatus.setCaption(L"Waiting for IIS to stop... " + std::to_wstring(step / 2) + L" s of at most " +
                             std::to_wstring(kMostStepsForIis / 2) + L" s");
        anicompress();
        ended = platform_.awaitProcess(process, 0, &exitCode);
        if (ended) lblStatus.setCaption(stopping);
    }
    LogProcessEnd(L"iisreset /stop", process, ended, exitCode);
}

// IIS comes back with the suite's web front end: the check that the suite
// came back looks at its web service too.
void frmCompactAndRepair::StartIis() {
    iisStart_ = static_cast<std::uint32_t>(runexe(L"iisreset /start", 2));
    stopped_.iisStopped(false);
    restarted_.push_back({L"IIS", L"W3SVC", L"", RestartedProduct::Mode::Service});
}

void frmCompactAndRepair::AwaitIisStart() {
    if (iisStart_ == 0) return;
    const std::uint32_t process = std::exchange(iisStart_, 0);
    std::optional<std::uint32_t> exitCode;
    const bool ended = platform_.awaitProcess(process, kIisStartTimeoutMs, &exitCode);
    LogProcessEnd(L"iisreset /start", process, ended, exitCode);
}

}  // namespace car

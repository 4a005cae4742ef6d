#include <string>

#include "app/frmCompactAndRepair.h"

namespace car {

// On a busy server "iisreset /stop" takes far longer than the run's five
// steps; IIS started again while it still stops may stay down, and the check
// that the suite came back must not look before its start is done. The run
// waits for either in progress steps, at most three minutes; one done in
// time costs nothing.
void frmCompactAndRepair::AwaitIisreset(std::uint32_t process, const std::wstring& verb) {
    std::optional<std::uint32_t> exitCode;
    bool ended = platform_.awaitProcess(process, 0, &exitCode);
    for (int step = 0; !ended && step < kMostStepsForIis; ++step) {
        lblStatus.setCaption(L"Waiting for IIS to " + verb + L"... " + std::to_wstring(step / 2) + L" s of at most " +
                             std::to_wstring(kMostStepsForIis / 2) + L" s");
        anicompress();
        ended = platform_.awaitProcess(process, 0, &exitCode);
    }
    log_.writeProcessEnd(L"iisreset /" + verb, process, ended, exitCode);
}

// IIS comes back with the suite's web front end: the check that the suite
// came back looks at its web service too.
void frmCompactAndRepair::StartIis() {
    iisStart_ = static_cast<std::uint32_t>(runexe(L"iisreset /start", 2));
    stopped_.iisStopped(false);
    restarted_.push_back({L"IIS", L"W3SVC", L"", RestartedProduct::Mode::Service});
}

void frmCompactAndRepair::AwaitIisStart() {
    if (iisStart_ != 0) AwaitIisreset(std::exchange(iisStart_, 0), L"start");
}

}  // namespace car

#include "app/safeguards/iis_waits.h"

#include <optional>
#include <utility>

namespace car {
namespace {

constexpr int kMostSteps = 360;  // progress steps of half a second: three minutes

}  // namespace

void IisWaits::Await(std::uint32_t process, const std::wstring& verb) {
    std::optional<std::uint32_t> exitCode;
    bool ended = platform_.awaitProcess(process, 0, &exitCode);
    for (int step = 0; !ended && step < kMostSteps; ++step) {
        steps_.status(L"Waiting for IIS to " + verb + L"... " + std::to_wstring(step / 2) + L" s of at most " +
                      std::to_wstring(kMostSteps / 2) + L" s");
        steps_.step();
        ended = platform_.awaitProcess(process, 0, &exitCode);
    }
    log_.writeProcessEnd(L"iisreset /" + verb, process, ended, exitCode);
}

void IisWaits::AwaitStart() {
    if (start_ != 0) Await(std::exchange(start_, 0), L"start");
}

}  // namespace car

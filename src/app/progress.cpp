#include <array>
#include <string>

#include "app/frmCompactAndRepair.h"

namespace car {

// One step of the run: paint what the caller just set, move the bar on a
// notch (it shows activity, not a share of the work) and give the reader half
// a second.
void frmCompactAndRepair::anicompress() {
    platform_.pumpMessages();
    const float maximum = prjProgress.Max();
    const float value = prjProgress.Value();
    prjProgress.setValue(maximum > value ? value + 1.0F : 0.0F);
    platform_.sleep(500);
    platform_.pumpMessages();
}

void frmCompactAndRepair::tmrSpin_Timer() {
    static constexpr std::array<const wchar_t*, 4> kFrames{L"|", L"/", L"-", L"\\"};
    for (std::size_t i = 0; i < kFrames.size(); ++i) {
        if (lblSpin.Caption() == kFrames[i]) {
            lblSpin.setCaption(kFrames[(i + 1) % kFrames.size()]);
            return;
        }
    }
}

}  // namespace car

// Processes asked to close: one closes at once or after some readings of the
// process list, one ignores the request, one has no window to be asked by.
#include <algorithm>

#include "fake_platform.h"

namespace cartest {

bool FakePlatform::askToClose(std::uint32_t processId) {
    record(L"askToClose " + std::to_wstring(processId));
    const auto found =
        std::find_if(processes.begin(), processes.end(), [&](const FakeProcess& p) { return p.pid == processId; });
    if (found == processes.end() || found->whenAsked == WhenAsked::CannotBeAsked) return false;
    if (found->whenAsked == WhenAsked::Closes) {
        if (found->closingReadings == 0) {
            processes.erase(found);
        } else if (found->closingLeft < 0) {
            found->closingLeft = found->closingReadings;
        }
    }
    return true;
}

void FakePlatform::closingReading(const std::wstring& fileName) {
    std::erase_if(processes, [&](FakeProcess& p) {
        if (p.closingLeft < 0 || car::lowerCase(p.name) != car::lowerCase(fileName)) return false;
        return p.closingLeft-- == 0;
    });
}

}  // namespace cartest

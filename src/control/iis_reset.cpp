#include <string>

#include "app/frmCompactAndRepair.h"

namespace car {

// IIS comes back with the suite's web front end: the check that the suite
// came back looks at its web service too, once the start is done.
void frmCompactAndRepair::StartIis() {
    iis_.Starting(static_cast<std::uint32_t>(runexe(L"iisreset /start", 2)));
    stopped_.iisStopped(false);
    back_.Restarting(L"IIS", L"W3SVC", L"", SuiteBack::Mode::Service);
}

}  // namespace car

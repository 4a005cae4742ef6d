#include <string>

#include "app/frmCompactAndRepair.h"
#include "app/path_only.h"

namespace car {

std::wstring frmCompactAndRepair::GetPathOnly(const std::wstring& pathandfilename) { return PathOnly(pathandfilename); }

// By its full path, in a folder of the run's choosing.
double frmCompactAndRepair::runexe(const std::wstring& exename, int runtype) {
    return static_cast<double>(programs_.Launch(exename, runtype));
}

void frmCompactAndRepair::cmdClose_Click() { platform_.endProgram(kExitLeft); }

// The folder follows the command unquoted: explorer takes the rest of its
// command line as the folder, blanks included.
void frmCompactAndRepair::cmdOpenDataFolder_Click() { runexe(L"explorer.exe " + GetPathOnly(txtDBPath.Caption()), 1); }

}  // namespace car

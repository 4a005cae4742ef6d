#include <string>

#include "app/frmCompactAndRepair.h"

namespace car {

std::wstring frmCompactAndRepair::GetPathOnly(const std::wstring& pathandfilename) {
    const std::size_t lastBackslash = pathandfilename.rfind(L'\\');
    return lastBackslash == std::wstring::npos ? std::wstring() : pathandfilename.substr(0, lastBackslash + 1);
}

void frmCompactAndRepair::cmdClose_Click() { platform_.endProgram(kExitLeft); }

// The folder follows the command unquoted: explorer takes the rest of its
// command line as the folder, blanks included.
void frmCompactAndRepair::cmdOpenDataFolder_Click() { runexe(L"explorer.exe " + GetPathOnly(txtDBPath.Caption()), 1); }

}  // namespace car

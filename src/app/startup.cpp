#include <algorithm>
#include <string>

#include "app/frmCompactAndRepair.h"
#include "app/suite.h"

namespace car {

void frmCompactAndRepair::Form_Initialize() {
    constexpr std::uint32_t kRecordSize = 8;
    constexpr std::uint32_t kInternetClasses = 0x800;
    platform_.initCommonControls(kRecordSize, kInternetClasses);  // a failure changes nothing
}

void frmCompactAndRepair::Form_Load() {
    const std::wstring dbq(suite::kDataSourceDbq);
    if (!RegistryItemExists(dbq)) {
        Tell(L"Data Source was not a JET driver");
        ending_.End(kExitNoDataSource, L"no data source");
    }
    // Windows takes "/" for a backslash in a path, but the folder for the
    // free-space check, the grants and the backup is split off at the
    // backslash alone.
    std::wstring dbPath = RegValueToText(ReadReg(dbq));
    std::replace(dbPath.begin(), dbPath.end(), L'/', L'\\');
    // A short (8.3) name would become the database's only name after the
    // swap, and the log, temporary and backup names would follow it.
    txtDBPath.setCaption(platform_.longPathName(dbPath));

    if (RegistryItemExists(std::wstring(suite::kTeamharborKey))) thline.setVisible(false);
    if (RegistryItemExists(std::wstring(suite::kTeampostKey))) tpline.setVisible(false);
    if (RegistryItemExists(std::wstring(suite::kOrganizerKey))) qoline.setVisible(false);

    Form.setCaption(Form.Caption() + L" - " + GetHostName());
}

}  // namespace car

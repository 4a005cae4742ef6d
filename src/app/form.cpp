#include <cstdio>
#include <iterator>

#include "app/frmCompactAndRepair.h"
#include "ui/layout.h"

namespace car {
namespace {

// The boundary's wording: the number as Windows reports it, in decimal and in
// hexadecimal (HRESULTs are looked up by the latter), then the description.
std::wstring UnhandledErrorText(const Error& error) {
    wchar_t hex[16];
    std::swprintf(hex, std::size(hex), L"0x%08X", static_cast<unsigned>(error.number));
    return L"Error " + std::to_wstring(error.number) + L" (" + hex + L")\r\n\r\n" + error.description;
}

}  // namespace

frmCompactAndRepair::frmCompactAndRepair(Platform& platform, View& view)
    : Form(ControlId::Form, view, layoutOf(ControlId::Form).initial),
      cmdClose(ControlId::cmdClose, view, layoutOf(ControlId::cmdClose).initial),
      cmdCompact(ControlId::cmdCompact, view, layoutOf(ControlId::cmdCompact).initial),
      cmdOpenDataFolder(ControlId::cmdOpenDataFolder, view, layoutOf(ControlId::cmdOpenDataFolder).initial),
      tmrSpin(ControlId::tmrSpin, view, layoutOf(ControlId::tmrSpin).initial),
      prjProgress(ControlId::prjProgress, view, layoutOf(ControlId::prjProgress).initial),
      imgTick(ControlId::imgTick, view, layoutOf(ControlId::imgTick).initial),
      qoline(ControlId::qoline, view, layoutOf(ControlId::qoline).initial),
      tpline(ControlId::tpline, view, layoutOf(ControlId::tpline).initial),
      thline(ControlId::thline, view, layoutOf(ControlId::thline).initial),
      imgTH(ControlId::imgTH, view, layoutOf(ControlId::imgTH).initial),
      imgQO(ControlId::imgQO, view, layoutOf(ControlId::imgQO).initial),
      imgTP(ControlId::imgTP, view, layoutOf(ControlId::imgTP).initial),
      lblSpin(ControlId::lblSpin, view, layoutOf(ControlId::lblSpin).initial),
      lblStatus(ControlId::lblStatus, view, layoutOf(ControlId::lblStatus).initial),
      lblStatus2(ControlId::lblStatus2, view, layoutOf(ControlId::lblStatus2).initial),
      txtDBPath(ControlId::txtDBPath, view, layoutOf(ControlId::txtDBPath).initial),
      Label1_1(ControlId::Label1_1, view, layoutOf(ControlId::Label1_1).initial),
      Label1_0(ControlId::Label1_0, view, layoutOf(ControlId::Label1_0).initial),
      lblDBPath(ControlId::lblDBPath, view, layoutOf(ControlId::lblDBPath).initial),
      Label3(ControlId::Label3, view, layoutOf(ControlId::Label3).initial),
      platform_(platform) {}

void frmCompactAndRepair::RunEvent(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const Error& error) {
        const std::wstring stopped = stopped_.describe();
        platform_.showMessage(UnhandledErrorText(error) + (stopped.empty() ? L"" : L"\r\n\r\n" + stopped));
        platform_.endProgram(kExitError);
    }
}

bool frmCompactAndRepair::QueryUnload() const { return !running_; }

}  // namespace car

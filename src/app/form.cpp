#include <exception>
#include <new>
#include <string>

#include "app/frmCompactAndRepair.h"
#include "ui/layout.h"

namespace car {
namespace {

// The boundary's wording: the number as Windows reports it, in decimal and in
// hexadecimal (HRESULTs are looked up by the latter), then the description.
std::wstring UnhandledErrorText(const Error& error) {
    return L"Error " + std::to_wstring(error.number) + L" (" + hex32(error.number) + L")\r\n\r\n" + error.description;
}

}  // namespace

frmCompactAndRepair::frmCompactAndRepair(Platform& platform, View& view)
    : log_(platform),
      tap_(view, log_),
      Form(ControlId::Form, tap_, layoutOf(ControlId::Form).initial),
      cmdClose(ControlId::cmdClose, tap_, layoutOf(ControlId::cmdClose).initial),
      cmdCompact(ControlId::cmdCompact, tap_, layoutOf(ControlId::cmdCompact).initial),
      cmdOpenDataFolder(ControlId::cmdOpenDataFolder, tap_, layoutOf(ControlId::cmdOpenDataFolder).initial),
      tmrSpin(ControlId::tmrSpin, tap_, layoutOf(ControlId::tmrSpin).initial),
      prjProgress(ControlId::prjProgress, tap_, layoutOf(ControlId::prjProgress).initial),
      imgTick(ControlId::imgTick, tap_, layoutOf(ControlId::imgTick).initial),
      qoline(ControlId::qoline, tap_, layoutOf(ControlId::qoline).initial),
      tpline(ControlId::tpline, tap_, layoutOf(ControlId::tpline).initial),
      thline(ControlId::thline, tap_, layoutOf(ControlId::thline).initial),
      imgTH(ControlId::imgTH, tap_, layoutOf(ControlId::imgTH).initial),
      imgQO(ControlId::imgQO, tap_, layoutOf(ControlId::imgQO).initial),
      imgTP(ControlId::imgTP, tap_, layoutOf(ControlId::imgTP).initial),
      lblSpin(ControlId::lblSpin, tap_, layoutOf(ControlId::lblSpin).initial),
      lblStatus(ControlId::lblStatus, tap_, layoutOf(ControlId::lblStatus).initial),
      lblStatus2(ControlId::lblStatus2, tap_, layoutOf(ControlId::lblStatus2).initial),
      txtDBPath(ControlId::txtDBPath, tap_, layoutOf(ControlId::txtDBPath).initial),
      Label1_1(ControlId::Label1_1, tap_, layoutOf(ControlId::Label1_1).initial),
      Label1_0(ControlId::Label1_0, tap_, layoutOf(ControlId::Label1_0).initial),
      lblDBPath(ControlId::lblDBPath, tap_, layoutOf(ControlId::lblDBPath).initial),
      Label3(ControlId::Label3, tap_, layoutOf(ControlId::Label3).initial),
      platform_(platform),
      guard_(platform),
      programs_(platform, log_),
      grants_(platform, log_, guard_),
      backups_(platform, log_),
      check_(platform, log_),
      figures_(platform, log_),
      stops_(platform, log_, stopped_, StepsOf(*this)),
      closes_(platform, log_, stopped_, StepsOf(*this)),
      iis_(platform, log_, StepsOf(*this)),
      names_(platform),
      release_(platform, StepsOf(*this)),
      back_(platform),
      suite_(platform, [this](const std::wstring& key) { return RegistryItemExists(key); }),
      checks_(platform, {log_, guard_, names_, programs_, suite_}),
      restart_(platform, log_, {stopped_, suite_, back_, iis_, figures_},
               {[this] { StartTeamharbor(); }, [this] { StartMailServer(); },
                [this](const std::wstring& commandLine, int style) { return runexe(commandLine, style); }}),
      interrupted_(platform, {log_, guard_, stopped_, suite_, restart_, back_},
                   {[this] { return GetHostName(); },
                    [this] {
                        // The wait for IIS speaks through the status; the window shows Ready after it.
                        const std::wstring ready = lblStatus.Caption();
                        iis_.AwaitStart();
                        lblStatus.setCaption(ready);
                    }}),
      checkWithoutRun_(log_, guard_, suite_, checks_, [this] { return GetHostName(); }),
      ending_(platform, {log_, guard_, stopped_, restart_, figures_, check_},
              {[this] { return txtDBPath.Caption(); }, [this] { return BackupPath_; }}) {}

// Whatever escapes an event handler ends the program the same way, an error
// of the standard library (out of memory, say) as much as the platform's: its
// message (or the log), what is still stopped, and an unattended run's
// restart. Never through std::terminate with the suite down.
void frmCompactAndRepair::RunEvent(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const Error& error) {
        EndWithError(error, kExitError, L"ended by an error");
    } catch (const std::bad_alloc&) {
        EndWithError(Error{kOutOfMemoryHr, L"There is not enough memory to go on."}, kExitError, L"ended by an error");
    } catch (const std::exception& failure) {
        const std::string what = failure.what();
        EndWithError(Error{kUnexpectedHr, L"Unexpected failure: " + std::wstring(what.begin(), what.end())}, kExitError,
                     L"ended by an error");
    }
}

void frmCompactAndRepair::EndWithError(const Error& error, int exitCode, const std::wstring& outcome) {
    // Starting the suite again must not wait on a WMI that no longer answers.
    if (error.number == kWmiTimeoutHr) wmiUnanswered_ = true;
    ending_.End(exitCode, outcome, UnhandledErrorText(error));
}

void frmCompactAndRepair::raise(FormEvent event) {
    switch (event) {
        case FormEvent::CompactClick:
            RunEvent([this] { cmdCompact_Click(); });
            break;
        case FormEvent::CloseClick:
            RunEvent([this] { cmdClose_Click(); });
            break;
        case FormEvent::OpenDataFolderClick:
            RunEvent([this] { cmdOpenDataFolder_Click(); });
            break;
        case FormEvent::SpinTimer:
            RunEvent([this] { tmrSpin_Timer(); });
            break;
        case FormEvent::SessionEnd:
            RunEvent(
                [this] { log_.write(L"The session is ending: Windows ends the program in the middle of the run"); });
            break;
    }
}

void frmCompactAndRepair::Tell(const std::wstring& text) {
    log_.write(L"Message: " + text);
    if (!unattended_) platform_.showMessage(text);
}

bool frmCompactAndRepair::QueryUnload() const { return !running_; }

}  // namespace car

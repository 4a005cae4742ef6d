// The program's one window class: its controls, its event handlers and the
// procedures that do the maintenance. It reaches the machine only through
// Platform and shows itself only through its controls' View.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/reg_value.h"
#include "app/safeguards/access_grants.h"
#include "app/safeguards/backup_retention.h"
#include "app/safeguards/check_without_run.h"
#include "app/safeguards/checks_before_run.h"
#include "app/safeguards/compaction_check.h"
#include "app/safeguards/database_release.h"
#include "app/safeguards/iis_waits.h"
#include "app/safeguards/interrupted_run.h"
#include "app/safeguards/program_closes.h"
#include "app/safeguards/program_starts.h"
#include "app/safeguards/run_ending.h"
#include "app/safeguards/run_figures.h"
#include "app/safeguards/run_guard.h"
#include "app/safeguards/run_log.h"
#include "app/safeguards/run_steps.h"
#include "app/safeguards/service_stops.h"
#include "app/safeguards/stopped_by_run.h"
#include "app/safeguards/suite_back.h"
#include "app/safeguards/suite_restart.h"
#include "app/safeguards/suite_state.h"
#include "app/safeguards/temp_name_draw.h"
#include "app/status_tap.h"
#include "platform/platform.h"
#include "ui/control.h"
#include "ui/form_events.h"

// <windows.h> maps StartService to StartServiceW. Without this the class
// would have a member of either name, depending on what a file included
// before this header; winmain.cpp checks that it is the same everywhere.
#pragma push_macro("StartService")
#undef StartService

namespace car {

struct ProductSetup;

class frmCompactAndRepair final : public FormEvents {
    // First, so that both exist before the controls that report to them.
    RunLog log_;
    StatusTap tap_;

public:
    frmCompactAndRepair(Platform& platform, View& view);
    // The safeguards hold callbacks into this very window.
    frmCompactAndRepair(const frmCompactAndRepair&) = delete;
    frmCompactAndRepair& operator=(const frmCompactAndRepair&) = delete;

    // The command line's arguments, before start-up: "/unattended" runs at
    // once without a person and ends by itself; "/?" shows the usage and
    // ends; anything else is refused and ends the program.
    void ApplyArguments(const std::vector<std::wstring>& arguments);
    bool Unattended() const { return unattended_; }
    // "/check": the checks and the suite's state reported, nothing stopped;
    // ends the program.
    bool CheckOnly() const { return checkOnly_; }
    void RunCheck();
    // At start-up: a last run that left no outcome in the log was cut short;
    // what it left stopped is said and started again.
    void CheckLastRun();
    // "/recover": that look at the last run alone; ends the program.
    bool RecoverOnly() const { return recoverOnly_; }
    void RunRecover();
    // The unattended run: as if the button had been pressed, then the end of
    // the program with the run's exit code.
    void RunUnattended();

    // Runs one event handler. An Error that escapes it is shown with its
    // number and description, and the program ends.
    void RunEvent(const std::function<void()>& handler);
    // The window's events, each run as above.
    void raise(FormEvent event) override;
    bool mayUnload() const override { return QueryUnload(); }

    // Events.
    void Form_Initialize();
    void Form_Load();
    void cmdCompact_Click();
    void cmdClose_Click();
    void cmdOpenDataFolder_Click();
    void tmrSpin_Timer();
    // The close box: false while a run is in progress (a run cut short during
    // the file swap would leave no database under its name).
    bool QueryUnload() const;

    // Registry probes.
    RegValue ReadReg(const std::wstring& RegPath);
    bool RegistryItemExists(const std::wstring& RegistryItem);
    bool RegistryKeyExists(const std::wstring& RegistryKey);
    bool RegistryValueExists(const std::wstring& RegistryValue);

    // Host name.
    std::wstring GetHostName();
    static std::wstring TrimAtNul(const std::wstring& text);

    // Process and service control, program launch, product restart.
    void KillProcess(const std::wstring& KProcess);
    void StartService(const std::wstring& strServiceName);
    void StopService(const std::wstring& strServiceName);
    double runexe(const std::wstring& exename, int runtype);
    void StartTeamharbor();
    void StartMailServer();

    // Compaction.
    void CompactDB(const std::wstring& dbPath);
    std::wstring RndFileName();

    // Permissions.
    void SetPermissions();
    void DoCACLS(const std::wstring& file, const std::wstring& user, bool asfile);

    // Window helpers.
    static std::wstring GetPathOnly(const std::wstring& pathandfilename);
    void anicompress();

    const std::wstring& BackupPath() const { return BackupPath_; }

    // The window and its controls, named as the layout names them.
    Control Form;
    Control cmdClose;
    Control cmdCompact;
    Control cmdOpenDataFolder;
    Control tmrSpin;
    Control prjProgress;
    Control imgTick;
    Control qoline;
    Control tpline;
    Control thline;
    Control imgTH;
    Control imgQO;
    Control imgTP;
    Control lblSpin;
    Control lblStatus;
    Control lblStatus2;
    Control txtDBPath;
    Control Label1_1;
    Control Label1_0;
    Control lblDBPath;
    Control Label3;

private:
    enum class RunResult { None, Refused, Finished, NotAllBack, Repaired };

    // A message for the user: a box with a person at the window, the log
    // alone in an unattended run.
    void Tell(const std::wstring& text);
    // The boundary's report of an error (its number, its description and
    // what the run left stopped), then the end with the exit code.
    [[noreturn]] void EndWithError(const Error& error, int exitCode, const std::wstring& outcome);
    void StartRun(const std::wstring& dbPath);
    bool KeyProbe(const std::wstring& keyPath);
    bool ValueProbe(const std::wstring& valuePath);
    std::vector<std::uint32_t> ControlService(const std::wstring& strServiceName, const std::wstring& method);
    void StartProduct(const ProductSetup& product);

    Platform& platform_;
    std::wstring BackupPath_;
    bool running_ = false;
    bool unattended_ = false;
    bool checkOnly_ = false;
    bool recoverOnly_ = false;
    bool wmiUnanswered_ = false;  // a WMI call did not answer: services are asked of the service control manager
    RunResult result_ = RunResult::None;
    StoppedByRun stopped_;
    RunGuard guard_;
    ProgramStarts programs_;
    AccessGrants grants_;
    BackupRetention backups_;
    CompactionCheck check_;
    RunFigures figures_;
    ServiceStops stops_;
    ProgramCloses closes_;
    IisWaits iis_;
    TempNameDraw names_;
    DatabaseRelease release_;
    SuiteBack back_;
    SuiteState suite_;
    ChecksBeforeRun checks_;
    SuiteRestart restart_;
    InterruptedRun interrupted_;
    CheckWithoutRun checkWithoutRun_;
    RunEnding ending_;
    std::wstring keptCopy_;  // a compacted copy that lacked data, kept beside the database
};

// The window's progress step and status text, for the safeguards that wait.
inline RunSteps StepsOf(frmCompactAndRepair& form) {
    return {[&form] { form.anicompress(); }, [&form](const std::wstring& text) { form.lblStatus.setCaption(text); }};
}

}  // namespace car

#pragma pop_macro("StartService")

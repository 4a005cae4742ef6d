// The machine as a script: a registry, files, a JET engine, WMI processes and
// services, launched programs and a virtual clock, each behaving and failing
// the way the Windows implementation does, and each call written to the
// shared EventLog ("regRead ...", "grantFullControl ...", "sleep 500", "pump").
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "event_log.h"
#include "platform/platform.h"

namespace cartest {

// What the fake's endProgram throws: deliberately not a car::Error, so the
// logic cannot catch it by accident and a test sees that nothing ran after.
struct EndSignal {
    int exitCode = 0;
};

// Failures to inject into one kind of call: on every call, or on the n-th
// (counted from 1 over the fake's life).
struct FailurePlan {
    std::optional<car::Error> always;
    std::map<int, car::Error> nth;
    int calls = 0;

    void hit();  // counts the call and throws the planned failure, if any
};

struct FakeFile {
    std::string content;
    bool compacted = false;  // written by the JET engine fake
    std::uint64_t lastWrite = 0;
};

// What a process does when it is asked to close (fake_closing.cpp).
enum class WhenAsked { Closes, Ignores, CannotBeAsked };

struct FakeProcess {
    std::wstring name;
    std::uint32_t pid = 0;
    std::wstring image;  // its program file's full path
    WhenAsked whenAsked = WhenAsked::Closes;
    int closingReadings = 0;  // readings of the process list that still find it once asked
    int closingLeft = -1;     // of those, left; -1 while not asked
};

struct FakeService {
    FakeService(std::wstring serviceName, bool isRunning) : name(std::move(serviceName)), running(isRunning) {}

    std::wstring name;
    bool running = true;
    // After a stop request, how many state readings still find it stopping.
    int stopPendingReadings = 0;
    int stopPending = 0;                        // readings left of the current stop
    std::optional<std::uint32_t> refusal;       // the return value with which both methods refuse it
    std::optional<std::uint32_t> startRefusal;  // the one with which StartService alone does
    std::wstring dependsOn;                     // a service that must run for this one to run
};

struct LaunchRecord {
    std::wstring application;
    std::wstring commandLine;
    std::wstring currentFolder;
    int style = 0;
    std::uint32_t pid = 0;
    std::uint64_t finishesAt = 0;  // virtual time at which it ends by itself
    std::uint32_t exitCode = 0;
    std::size_t stillRunningAtStart = 0;  // earlier launches not yet ended
};

struct AwaitRecord {
    std::uint32_t pid = 0;
    std::uint32_t timeoutMs = 0;
    bool ended = false;
};

inline constexpr std::wstring_view kWmiMoniker = L"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2";
// The two queries the program is meant to send WMI, up to the quoted name.
inline const std::wstring kProcessQuery = L"SELECT * FROM Win32_Process WHERE Name = '";
inline const std::wstring kServiceQuery = L"Select * from Win32_Service Where Name ='";
// A 32-bit program's folders on 64-bit Windows.
inline const car::SystemFolders kSystemFolders{L"C:\\Windows", L"C:\\Windows\\SysWOW64", L"C:\\Windows\\Sysnative"};
inline constexpr std::uint32_t kFixedInfoSize = 584;  // sizeof(FIXED_INFO) for a 32-bit process

class FakePlatform final : public car::Platform {
public:
    explicit FakePlatform(EventLog& log) : log_(log) {}

    // --- registry -------------------------------------------------------
    // A value path ("...\\Name") or a key path with a default value ("...\\").
    void setValue(const std::wstring& path, car::RegValue value);
    // A key path ending in "\\": the key exists, without a default value.
    void addKey(const std::wstring& keyPath);
    // Reads of the path fail: every one, or only the n-th (from 1).
    void failRead(const std::wstring& path, car::Error error, int nth = 0);
    static std::wstring missingWording(const std::wstring& path);
    static std::wstring noDefaultWording(const std::wstring& path);

    // --- files and the JET engine -----------------------------------------
    std::map<std::wstring, FakeFile> files;
    FailurePlan moveFailures;
    bool hardLinks = true;        // false: a volume without them (FAT32, some shares)
    FailurePlan replaceFailures;  // renames through a hold that replace a file
    FailurePlan deleteFailures;
    FailurePlan flushFailures;       // flushes through a hold
    FailurePlan accessListFailures;  // owners and access lists given through a hold
    FailurePlan holdFileFailures;
    // Files held open now (as often as held, under the name they have now):
    // nobody else can rename or delete them meanwhile.
    std::multiset<std::wstring> heldFiles;
    // The volume each file is on (1 when not said).
    std::map<std::wstring, std::uint32_t> volumes;
    // Short (8.3) paths and the long ones they stand for.
    std::map<std::wstring, std::wstring> longPaths;
    // The file whose name must never be left empty, and each call (as
    // logged) that found nothing under it.
    std::wstring guardedPath;
    std::vector<std::wstring> guardedPathEmptyAt;
    // Other processes holding files open: how many more fileInUse() calls
    // find each still held, and who holds it.
    std::map<std::wstring, int> heldForChecks;
    std::vector<std::wstring> holders;
    // Paths (files or folders) that are junctions, symbolic links or mount
    // points (a junction for a folder, a symbolic link for a file, unless
    // `reparseKinds` says otherwise), and files with more names than one.
    std::set<std::wstring> reparsePoints;
    std::map<std::wstring, car::ReparseKind> reparseKinds;
    car::ReparseKind reparseKindOf(const std::wstring& path) const;
    std::map<std::wstring, std::uint32_t> nameCounts;
    // Folders held open now, as often as they are held; a hold of a folder
    // that nothing stands under fails as the system's would.
    std::multiset<std::wstring> heldFolders;
    std::uint64_t freeBytes = std::uint64_t{1} << 40;
    FailurePlan freeSpaceFailures;
    FailurePlan jetCreateFailures;
    FailurePlan compactFailures;
    // The engine's process ends with this exit code in the middle of a
    // compaction, leaving part of the copy under the destination, as a crash
    // of the real engine on a damaged database would.
    std::optional<std::uint32_t> engineCrashCode;
    // How long the engine takes; past the run's limit it is ended, leaving
    // part of the copy, and the limit is what the clock moves on by.
    std::uint64_t engineRunMs = 0;
    std::optional<car::Error> engineUntied;   // why the engine's process could not be put in the job
    std::vector<std::uint64_t> engineLimits;  // the limit each compaction was given
    std::vector<std::pair<std::wstring, std::wstring>> compactions;  // connection strings
    int liveJetEngines = 0;
    // DAO's view of each database file: its tables, and the rows a count
    // reads where they differ from the stored count. The engine's copy gets
    // its source's, changed by `compactionChanges` (a repair that dropped
    // rows or tables). Without DAO every call fails with DaoMissing; a file
    // in `daoRefuses` fails with that error.
    std::map<std::wstring, std::vector<car::TableFacts>> daoFiles;
    std::map<std::wstring, std::map<std::wstring, std::int64_t>> countedRows;
    std::function<void(std::vector<car::TableFacts>&, std::map<std::wstring, std::int64_t>&)> compactionChanges;
    bool daoInstalled = true;
    std::map<std::wstring, car::Error> daoRefuses;
    std::optional<car::Error> daoRefusesCopy;  // DAO cannot open what the engine writes

    // --- accounts, access lists, privileges (fake_access.cpp) -----------------
    // The accounts of this machine; a name is looked up whole or after its "DOMAIN\".
    std::vector<car::Account> accounts{{L"BUILTIN\\Administrators", L"S-1-5-32-544"},
                                       {L"BUILTIN\\Users", L"S-1-5-32-545"}};
    // Each grant made through a hold, in order: "path <- sid,sid", and " inherited".
    std::vector<std::wstring> grants;
    std::set<std::wstring> grantRefused;  // paths whose access list cannot be changed
    std::set<std::wstring> emptyFolders;  // folders with nothing in them
    // Names that a listing shows as reparse points but that open as their
    // target, as a Unix symbolic link does under Wine.
    std::map<std::wstring, std::wstring> followedLinks;
    // Runs after each folder's listing: someone changing the tree meanwhile.
    std::function<void(const std::wstring& folder)> afterListing;
    std::uint64_t fileIdOf(const std::wstring& path) const;
    std::vector<car::ListedEntry> listFolder(const std::wstring& folder);
    void grantOn(const std::wstring& path, const std::vector<std::wstring>& sids, bool inherited);
    // Privileges enabled now, and what was started or ended with or without them.
    std::multiset<car::Privilege> privileges;
    std::vector<std::wstring> startedWithPrivilege;  // launches and engines started while one was enabled
    int terminatedWithoutDebug = 0;
    int ownersGivenWithoutRestore = 0;
    std::wstring trustedFolder = L"C:\\ProgramData\\Compact And Repair";
    std::optional<car::Error> trustedFolderRefusal;  // a link or a file there, say
    std::wstring trustedFolderOwner = L"S-1-5-32-544";
    std::vector<std::wstring> trustedFolderWriters{L"S-1-5-18", L"S-1-5-32-544"};
    bool trustedFolderHeld = false;

    // --- WMI ----------------------------------------------------------------
    std::vector<FakeProcess> processes;
    std::vector<FakeService> services;
    FailurePlan connectFailures;
    FailurePlan queryFailures;
    FailurePlan methodFailures;
    // Process names whose Terminate is refused, with the return value.
    std::map<std::wstring, std::uint32_t> terminateRefusals;
    int liveWmiServices = 0;
    // A process of that program file; by a name alone, one in the Windows folder.
    std::uint32_t addProcess(const std::wstring& name, std::wstring image = {});
    bool isRunning(std::uint32_t pid) const;
    const FakeService* service(const std::wstring& name) const;

    // --- programs -------------------------------------------------------------
    // The system's own programs; any other program file is found when a
    // file of that path exists. Compared in any case, as Windows does.
    car::SystemFolders folders = kSystemFolders;
    std::set<std::wstring> systemPrograms{kSystemFolders.nativeSystem + L"\\iisreset.exe",
                                          kSystemFolders.windows + L"\\explorer.exe"};
    // Takes a system program away (by name, "iisreset"), as from a machine that lacks it.
    void removeSystemProgram(const std::wstring& name);
    // By program file name in lower case without ".exe" ("iisreset").
    std::map<std::wstring, car::Error> launchFailures;
    std::map<std::wstring, std::uint32_t> runTimesMs;  // default 100
    std::vector<LaunchRecord> launches;
    std::vector<AwaitRecord> awaits;
    bool hasEnded(std::uint32_t pid) const;

    // --- text files appended to (the run log) ---------------------------------
    std::map<std::wstring, std::vector<std::wstring>> appended;
    FailurePlan openAppendFailures;
    FailurePlan appendFailures;
    int openAppendFiles = 0;

    // --- the machine-wide lock ------------------------------------------------
    bool lockTakenElsewhere = false;  // another process holds it
    FailurePlan lockFailures;         // the lock cannot even be made
    bool privateNamespaces = true;    // false: a system without them (Wine)
    std::wstring foreignLockOwner;    // without them: an account that is neither SYSTEM nor an administrator made it
    std::uint32_t ownPid = 4242;      // this program's own process id
    int locksHeld = 0;

    // --- messages, clock ----------------------------------------------------
    std::vector<std::wstring> messages;
    std::vector<std::wstring> questions;  // Yes/No boxes, answered with `answerYes`
    bool answerYes = true;
    bool nobodyAnswers = false;  // a box with a limit is then answered No by itself
    std::vector<std::uint32_t> questionLimits;
    std::vector<int> heldAtBoxes;  // locks and folders held while each box waited
    std::wstring shutdownBlock;    // the reason given to Windows now
    std::vector<std::pair<car::EventKind, std::vector<std::wstring>>> events;
    std::function<void()> onPump;  // runs inside every pump: a user acting mid-run
    std::uint64_t now = 0;         // virtual milliseconds

    // --- network parameters, common controls ------------------------------
    std::string hostField;                         // bytes of the FIXED_INFO host field
    std::string domainField = "corp.example.org";  // the field right after it
    std::uint32_t networkParamsSize = kFixedInfoSize;
    std::uint32_t filledCallResult = 0;               // what the call with a large enough buffer returns
    std::vector<std::uint32_t> networkParamsLengths;  // the length passed in on each call
    std::vector<std::size_t> ansiConversions;         // byte counts converted
    bool commonControlsResult = true;

    // --- car::Platform --------------------------------------------------------
    car::RegValue regRead(const std::wstring& path) override;
    car::RegValue regReadNativeView(const std::wstring& path) override;
    std::unique_ptr<car::GrantablePath> openInTree(const std::wstring& path) override;
    std::optional<car::Account> accountBySid(const std::wstring& sid) override;
    std::optional<car::Account> accountByName(const std::wstring& name) override;
    std::unique_ptr<car::Held> enablePrivilege(car::Privilege privilege) override;
    car::TrustedFolder holdTrustedFolder() override;
    bool askToClose(std::uint32_t processId) override;
    // A reading of the process list: the asked processes of that name come closer to their end.
    void closingReading(const std::wstring& fileName);
    void moveFile(const std::wstring& from, const std::wstring& to) override;
    bool pathExists(const std::wstring& path) override;
    std::vector<car::FolderEntry> filesEndingIn(const std::wstring& folder, const std::wstring& ending) override;
    void createHardLink(const std::wstring& existing, const std::wstring& newName) override;
    void deleteFile(const std::wstring& path) override;
    std::unique_ptr<car::HeldFile> holdFile(const std::wstring& path) override;
    std::wstring longPathName(const std::wstring& path) override;
    bool fileInUse(const std::wstring& path) override;
    std::vector<std::wstring> fileHolders(const std::wstring& path) override;
    car::PathInfo pathInfo(const std::wstring& path) override;
    std::uint64_t freeSpace(const std::wstring& folder) override;
    car::ServiceState serviceState(const std::wstring& name) override;
    void startServiceDirectly(const std::wstring& name) override;
    void stopServiceDirectly(const std::wstring& name) override;
    std::vector<std::wstring> activeDependentServices(const std::wstring& name) override;
    std::vector<std::uint32_t> processesNamed(const std::wstring& fileName) override;
    std::wstring processImage(std::uint32_t processId) override;
    std::uint32_t ownProcessId() override;
    car::SystemFolders systemFolders() override;
    std::unique_ptr<car::JetEngine> createJetEngine() override;
    std::unique_ptr<car::WmiService> connectWmi(const std::wstring& moniker) override;
    std::uint32_t launch(const std::wstring& application, const std::wstring& commandLine,
                         const std::wstring& currentFolder, int windowStyle) override;
    using car::Platform::awaitProcess;
    bool awaitProcess(std::uint32_t processId, std::uint32_t timeoutMs,
                      std::optional<std::uint32_t>* exitCode) override;
    std::unique_ptr<car::GrantablePath> holdFolder(const std::wstring& folder) override;
    std::unique_ptr<car::AppendFile> openAppendFile(const std::wstring& path) override;
    car::LockAttempt lockInAdministratorsNamespace(const std::wstring& name) override;
    car::LockAttempt lockMachineWide(const std::wstring& name) override;
    car::LocalTime localTime() override;
    std::uint64_t milliseconds() override;
    void showMessage(const std::wstring& text) override;
    Answer askYesNo(const std::wstring& text, bool noByDefault, std::uint32_t limitMs) override;
    std::vector<car::TableFacts> daoTables(const std::wstring& path) override;
    std::int64_t daoCountRows(const std::wstring& path, const std::wstring& table) override;
    std::optional<std::wstring> readTextTail(const std::wstring& path, std::size_t maxBytes) override;
    void setShutdownBlock(const std::wstring& reason) override;
    void reportEvent(car::EventKind kind, const std::vector<std::wstring>& fields) override;
    [[noreturn]] void endProgram(int exitCode) override;
    void pumpMessages() override;
    void sleep(std::uint32_t milliseconds) override;
    std::uint64_t clockTicks() override;
    std::uint32_t getNetworkParams(std::uint8_t* buffer, std::uint32_t& length) override;
    std::wstring fromAnsiCodePage(const std::uint8_t* bytes, std::size_t count) override;
    bool initCommonControls(std::uint32_t size, std::uint32_t classes) override;

    // Called by the held files the fake hands out.
    void renameHeld(std::wstring& path, const std::wstring& to, bool replace);
    // Called by the JET and WMI objects the fake hands out.
    void compact(const std::wstring& source, const std::wstring& destination, std::uint64_t limitMs);
    std::vector<car::WmiObject> query(const std::wstring& wql);
    std::uint32_t method(const car::WmiObject& object, const std::wstring& name);
    EventLog& log() { return log_; }

    bool isFolder(const std::wstring& path) const;
    void record(std::wstring entry);  // logs a call

private:
    bool keyExists(const std::wstring& key) const;
    car::RegValue readValue(const std::wstring& path);
    std::wstring programOf(const std::wstring& application) const;

    EventLog& log_;
    std::set<std::wstring> keys_;                   // without the trailing "\\"
    std::map<std::wstring, car::RegValue> values_;  // full paths; "...\\" is a default value
    std::map<std::wstring, FailurePlan> readFailures_;
    std::uint32_t nextPid_ = 1000;
    std::uint64_t ticksCalls_ = 0;
    bool pumping_ = false;
};

}  // namespace cartest

// The machine as the window class sees it: one narrow interface, so that every
// decision of the program can be exercised natively against a fake.
#pragma once

#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/access.h"
#include "platform/program_closing.h"

namespace car {

// The one error type of the program. `number` is the 32-bit value Windows
// reports (an HRESULT or an error number), kept signed as Windows' LONG is.
struct Error {
    std::int32_t number = 0;
    std::wstring description;
};

constexpr std::int32_t hresult(std::uint32_t value) { return static_cast<std::int32_t>(value); }

// "Error N: description", the short form of a failure in a longer text.
inline std::wstring errorSummary(const Error& error) {
    return L"Error " + std::to_wstring(error.number) + L": " + error.description;
}

// Letters compared without regard to case, as Windows compares names.
inline std::wstring lowerCase(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    return text;
}

// "0x" and eight upper-case hexadecimal digits, as Windows writes an HRESULT.
inline std::wstring hex32(std::int32_t number) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08X", static_cast<unsigned>(number));
    return text;
}

// Numbers the program itself raises or singles out.
inline constexpr std::int32_t kFileNotFoundHr = hresult(0x80070002u);  // HRESULT_FROM_WIN32(2)
inline constexpr std::int32_t kTypeMismatch = 13;                      // the scripting runtime's number
inline constexpr std::int32_t kInvalidProcedureCall = 5;               // ditto
inline constexpr std::int32_t kWmiNotFound = hresult(0x80041002u);     // WBEM_E_NOT_FOUND
inline constexpr std::int32_t kNoHardLinksHr = hresult(0x80070001u);   // HRESULT_FROM_WIN32(ERROR_INVALID_FUNCTION)
inline constexpr std::int32_t kNotSupportedHr = hresult(0x80070032u);  // HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED)
inline constexpr std::int32_t kSharingViolationHr =
    hresult(0x80070020u);                                               // HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)
inline constexpr std::int32_t kLockViolationHr = hresult(0x80070021u);  // HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION)
inline constexpr std::int32_t kOutOfMemoryHr = hresult(0x8007000Eu);    // E_OUTOFMEMORY
inline constexpr std::int32_t kUnexpectedHr = hresult(0x8000FFFFu);     // E_UNEXPECTED
inline constexpr std::int32_t kWmiTimeoutHr = hresult(0x800705B4u);     // HRESULT_FROM_WIN32(ERROR_TIMEOUT)
inline constexpr std::int32_t kAccessDeniedHr = hresult(0x80070005u);   // HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)

// A registry value as a scripting RegRead hands it back: string and
// expandable string as text (expanded), DWORD and QWORD as numbers, multi-string
// as an array of texts, binary as an array of bytes.
using RegValue = std::variant<std::wstring, std::int64_t, std::vector<std::wstring>, std::vector<std::uint8_t>>;

// One object of a WMI query, copied out of the enumeration before anything
// acts on it (some WMI implementations hand out live views).
struct WmiObject {
    std::wstring path;            // __PATH, what methods are executed on
    std::wstring name;            // Name
    std::uint32_t processId = 0;  // ProcessId, for Win32_Process objects
    std::wstring state;           // State, for Win32_Service objects ("Running", "Start Pending"...)
};

// The codes the program ends with, for whatever started it (a script, the
// Task Scheduler): 0 only when the user left it.
enum ExitCode : int {
    kExitLeft = 0,               // "Cancel", "Exit" or the close box
    kExitError = 1,              // an error ended the program
    kExitNoDataSource = 2,       // no JET data source: the window never showed
    kExitCompactionFailed = 3,   // the engine could not compact the database
    kExitRefused = 4,            // unattended: a check before the run failed, nothing was stopped
    kExitNotAllBack = 5,         // unattended: the run finished, but a product is not running again
    kExitBadArgument = 6,        // an argument the program does not know
    kExitLogNotWritten = 7,      // unattended: the run finished, but its log could not be written
    kExitServiceNotStopped = 8,  // a service refused to stop or did not stop in time: the run ended before
                                 // the compaction, and what it stopped was started again
    kExitCopyLostData = 8,       // unattended: the compacted copy lacked data, so the database stayed as it
                                 // was, the copy beside it, and what the run stopped was started again
    kExitRepaired = 9,           // unattended: the database could not be read before the compaction; the
                                 // compacted copy, which can, is the database now
};

// The kinds of event the program writes to the Application event log; each
// is also its event id and its message in the program's message table.
enum class EventKind : std::uint32_t { Information = 1, Warning = 2, Error = 3 };

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// What stands under a path.
struct PathInfo {
    bool exists = false;
    bool isFolder = false;
    bool reparsePoint = false;  // a junction, symbolic link or mount point itself, not its target
    std::uint64_t size = 0;
};

// A file found in a folder: its name alone, and when it was last written
// (in 100-nanosecond units, comparable between files).
struct FolderEntry {
    std::wstring name;
    std::uint64_t lastWrite = 0;
};

// A file held open by the run, opened without following a reparse point and
// without delete sharing (others may read and write it): while the hold
// lasts nobody can rename, move or delete it or put anything else under its
// name, and everything the run does to it is done through the hold.
class HeldFile : public GrantablePath {
public:
    // The file's owner and access list, as a self-relative security
    // descriptor that giveOwnerAndAccessList takes.
    virtual std::vector<std::uint8_t> ownerAndAccessList() const = 0;
    // Gives the file the owner and the access list of such a descriptor:
    // the list protected from inheritance, or inheriting from the file's
    // folder, as the descriptor says. Fails when either cannot be set (the
    // access list is set first).
    virtual void giveOwnerAndAccessList(const std::vector<std::uint8_t>& descriptor) = 0;
    // Writes what the system holds of the file to the disk.
    virtual void flush() = 0;
    // Gives the file the name `to` (in its own folder) in one rename written
    // through to the disk; with `replace`, in the place of the file that
    // stands there, so that `to` names that file until it names this one.
    virtual void rename(const std::wstring& to, bool replace) = 0;
};

// A text file opened once for appending lines.
class AppendFile : public OpenPath {
public:
    // Appends a line and a line break in UTF-8; the line is on the disk's way
    // when this returns (written through the system, not held in a buffer of
    // ours).
    virtual void appendLine(const std::wstring& line) = 0;
    // Sets the file's access list, through the handle, to full control for
    // SYSTEM and the administrators group and nobody else, protected from
    // what the folder would have it inherit.
    virtual void restrictToAdministrators() = 0;
};

// The Windows folder (C:\Windows), the program's system folder (for a
// 32-bit program on 64-bit Windows the 32-bit one) and the native system
// folder (reached through "Sysnative" from a 32-bit program on 64-bit
// Windows, else the system folder itself). None ends in a backslash.
struct SystemFolders {
    std::wstring windows;
    std::wstring system;
    std::wstring nativeSystem;
};

// What became of an attempt to take a lock for the machine.
struct LockAttempt {
    enum class Outcome { Taken, HeldByAnother, Unsupported, ForeignOwner };
    Outcome outcome = Outcome::Unsupported;
    std::unique_ptr<Held> lock;  // while Taken
    std::wstring owner;          // for ForeignOwner: the account that owns the lock's object
};

// A service's state as the service control manager reports it.
enum class ServiceState { Missing, Stopped, StartPending, StopPending, Running, Other };

// Each WMI call, the connection included, fails with kWmiTimeoutHr when WMI
// has not answered within two minutes.
class WmiService {
public:
    virtual ~WmiService() = default;
    // Runs a WQL query; an empty result is no error.
    virtual std::vector<WmiObject> execQuery(const std::wstring& wql) = 0;
    // Calls a method without arguments on an object and gives back the
    // method's ReturnValue (0 when it has none). An object that no longer
    // exists (a process that ended after the query) fails with kWmiNotFound.
    virtual std::uint32_t execMethod(const WmiObject& object, const std::wstring& method) = 0;
};

// What compactDatabase throws when the engine ended without an answer (it
// crashed on the database, or was ended): `number` is the exit code of the
// process it ran in, `description` the system's words for that code or empty.
// Whatever it wrote of the compacted copy may be left under the destination.
struct EngineEnded : Error {};

// What compactDatabase throws when the engine has not finished within its
// limit: its process has been ended, and whatever it wrote may be left under
// the destination.
struct EngineTimedOut : Error {};

class JetEngine {
public:
    virtual ~JetEngine() = default;
    // Writes a compacted copy of the source database under the destination.
    // The engine's own failures are thrown as Error with its number and
    // words; an engine that ends without answering, as EngineEnded; one still
    // at work after `limitMs`, as EngineTimedOut once it has been ended.
    // When the engine's process could not be put in the program's job (it
    // then ends itself once the program is gone), `untied` is told why as
    // soon as the process has started.
    virtual void compactDatabase(const std::wstring& source, const std::wstring& destination, std::uint64_t limitMs,
                                 const std::function<void(const Error&)>& untied) = 0;
};

// A table of a database as DAO's TableDefs describe it.
struct TableFacts {
    std::wstring name;
    std::int32_t attributes = 0;  // TableDef.Attributes
    std::int64_t rowCount = 0;    // TableDef.RecordCount: the count the file stores, no rows read
};

// What the DAO calls throw when DAO 3.6 is not registered or cannot be
// created on this machine (as opposed to DAO's own refusal of a file).
struct DaoMissing : Error {};

class Platform : public AccessControl, public ProgramClosing {
public:
    virtual ~Platform() = default;

    // Registry, in the program's own (32-bit) view. `path` is a full registry
    // path ("HKEY_LOCAL_MACHINE\\..."); a trailing "\\" asks for the key's
    // default value. A failure that cannot be read carries 0x80070002 for a
    // missing key, value or root, with one wording (path aside) for missing
    // keys and roots and another for a key without a default value.
    virtual RegValue regRead(const std::wstring& path) = 0;
    // The same in the system's own view (the 64-bit one on 64-bit Windows),
    // where the web server keeps its version.
    virtual RegValue regReadNativeView(const std::wstring& path) = 0;

    // Renames a file, never replacing one that exists under `to`.
    virtual void moveFile(const std::wstring& from, const std::wstring& to) = 0;
    // Gives a file a second name (a hard link). A volume without hard links
    // fails with kNoHardLinksHr or kNotSupportedHr.
    virtual void createHardLink(const std::wstring& existing, const std::wstring& newName) = 0;
    // Removes one name of a file.
    virtual void deleteFile(const std::wstring& path) = 0;
    // Holds a file (see HeldFile); what stands under the name is held
    // itself, a reparse point or a folder included, never followed.
    virtual std::unique_ptr<HeldFile> holdFile(const std::wstring& path) = 0;
    // The path with each short (8.3) name in it replaced by the long one; the
    // path as it is when it cannot be had (a name that does not exist).
    virtual std::wstring longPathName(const std::wstring& path) = 0;
    // True while another process has the file open, so that it cannot be
    // opened for exclusive access.
    virtual bool fileInUse(const std::wstring& path) = 0;
    // The programs holding a file open ("THService.exe (pid 1234)"), where the
    // system can name them; empty where it cannot.
    virtual std::vector<std::wstring> fileHolders(const std::wstring& path) = 0;
    // The files (not folders, nor links) in a folder whose names end in
    // `ending`.
    virtual std::vector<FolderEntry> filesEndingIn(const std::wstring& folder, const std::wstring& ending) = 0;
    // True when a file or folder stands under the path.
    virtual bool pathExists(const std::wstring& path) = 0;
    // What stands under the path; `size` only for a file.
    virtual PathInfo pathInfo(const std::wstring& path) = 0;
    // Opens a folder so that, while the hold lasts, nobody can rename, move or
    // delete it; others may still read and write inside it.
    virtual std::unique_ptr<GrantablePath> holdFolder(const std::wstring& folder) = 0;
    // Bytes free to the caller on the volume of a folder (the current folder
    // for an empty text); fails when the folder cannot be reached.
    virtual std::uint64_t freeSpace(const std::wstring& folder) = 0;

    // Reads, through DAO 3.6 ("DAO.DBEngine.36", late bound), the tables of
    // a database opened read-only, and closes it again before returning. A
    // database DAO cannot open fails with DAO's number and words; DAO that
    // is missing, with DaoMissing. The window goes on answering meanwhile;
    // a DAO that does not answer within two minutes fails with kWmiTimeoutHr.
    virtual std::vector<TableFacts> daoTables(const std::wstring& path) = 0;
    // The rows of one table as "SELECT COUNT(*) FROM [table]" counts them,
    // read the same way.
    virtual std::int64_t daoCountRows(const std::wstring& path, const std::wstring& table) = 0;

    // Creates the JET engine object ("Jro.JetEngine").
    virtual std::unique_ptr<JetEngine> createJetEngine() = 0;

    // Obtains the WMI service for a "winmgmts:" moniker.
    virtual std::unique_ptr<WmiService> connectWmi(const std::wstring& moniker) = 0;

    // The state of the service of that key name, from the service control
    // manager itself: quick, and there even when WMI does not answer.
    virtual ServiceState serviceState(const std::wstring& name) = 0;
    // Asks the service control manager itself to start the service, for when
    // WMI does not answer; one that runs already is no failure.
    virtual void startServiceDirectly(const std::wstring& name) = 0;
    // Asks the service control manager itself to stop the service; one that
    // is not running is no failure.
    virtual void stopServiceDirectly(const std::wstring& name) = 0;
    // The running (or starting, or stopping) services that depend on the
    // service, by key name, in the order in which they are to be stopped.
    virtual std::vector<std::wstring> activeDependentServices(const std::wstring& name) = 0;
    // The ids of the processes whose program file has that name (compared
    // without regard to case), from a snapshot of the system's process list:
    // quick, and there even when WMI does not answer.
    virtual std::vector<std::uint32_t> processesNamed(const std::wstring& fileName) = 0;
    // The full path of a process's program file, in its long form; empty
    // when it cannot be read (the process has ended, say).
    virtual std::wstring processImage(std::uint32_t processId) = 0;
    // This program's own process id, which tags its records in the run log.
    virtual std::uint32_t ownProcessId() = 0;

    // The folders the system's own tools are started from, never found by a
    // search: nothing of the program's or the current folder can stand in
    // for them.
    virtual SystemFolders systemFolders() = 0;

    // Starts the program file `application` (a full path: nothing is
    // searched) with the command line its C runtime reads, in the current
    // folder `currentFolder`, with the window style 0 hidden, 1 normal,
    // 2 minimised; returns the process id.
    virtual std::uint32_t launch(const std::wstring& application, const std::wstring& commandLine,
                                 const std::wstring& currentFolder, int windowStyle) = 0;
    // Waits, pumping the window's messages, until a process started by
    // `launch` has ended or the time is up; true when it has ended. Its exit
    // code goes to `exitCode` when one is given and the code is known.
    virtual bool awaitProcess(std::uint32_t processId, std::uint32_t timeoutMs,
                              std::optional<std::uint32_t>* exitCode) = 0;
    bool awaitProcess(std::uint32_t processId, std::uint32_t timeoutMs) {
        return awaitProcess(processId, timeoutMs, nullptr);
    }

    // Writes one event to the Application event log under the source
    // "Compact And Repair", registering the source (its message file being
    // the program itself) on first use. The fields are the event's insertion
    // strings, %1 to %9 of the message table, each one a collector can filter
    // on: outcome, exit code, database, backup, size before, size after,
    // seconds the suite was down, verification, log.
    virtual void reportEvent(EventKind kind, const std::vector<std::wstring>& fields) = 0;
    // While `reason` is not empty, a shutdown or logoff is refused and Windows
    // shows the reason to whoever asks for it; an empty text lets them go.
    virtual void setShutdownBlock(const std::wstring& reason) = 0;
    // A modal box with Yes and No and the program's title. With
    // `noByDefault` No is the default button, and a warning icon shows. With
    // a limit (0: none), a box still open after it is answered No by itself.
    enum class Answer { Yes, No, NoByItself };
    virtual Answer askYesNo(const std::wstring& text, bool noByDefault, std::uint32_t limitMs) = 0;
    // The end of a UTF-8 text file (at most `maxBytes`, from a line's start),
    // never read through a link; nothing when it cannot be read.
    virtual std::optional<std::wstring> readTextTail(const std::wstring& path, std::size_t maxBytes) = 0;
    // A modal box with OK only, no icon and the program's title.
    virtual void showMessage(const std::wstring& text) = 0;
    // Ends the program at once with an exit code; nothing after it runs.
    [[noreturn]] virtual void endProgram(int exitCode) = 0;
    // Opens a text file for appending, creating it when it is missing.
    virtual std::unique_ptr<AppendFile> openAppendFile(const std::wstring& path) = 0;
    // Takes the lock of that name in a private namespace bounded by the
    // administrators group, where no other account can create or hold it,
    // for every session of the machine. Unsupported where the system has
    // no private namespaces.
    virtual LockAttempt lockInAdministratorsNamespace(const std::wstring& name) = 0;
    // Takes the lock of that name in the global namespace, for every session
    // of the machine. One that exists already and that neither SYSTEM, the
    // administrators group nor this program's own account (or its default
    // owner) owns is not waited for: ForeignOwner, with its owner's name
    // where it can be read.
    virtual LockAttempt lockMachineWide(const std::wstring& name) = 0;
    // The local date and time, to the millisecond.
    virtual LocalTime localTime() = 0;
    // Milliseconds of a clock that only goes forward, for durations.
    virtual std::uint64_t milliseconds() = 0;

    // Handles every window message waiting in the queue.
    virtual void pumpMessages() = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
    // A reading of the system clock, to seed the random generator.
    virtual std::uint64_t clockTicks() = 0;

    // GetNetworkParams as documented: `buffer` may be null; `length` is read
    // and updated; returns the Windows error code (0 on success).
    virtual std::uint32_t getNetworkParams(std::uint8_t* buffer, std::uint32_t& length) = 0;
    // Converts bytes of the system's ANSI code page to text, NULs included.
    virtual std::wstring fromAnsiCodePage(const std::uint8_t* bytes, std::size_t count) = 0;

    // InitCommonControlsEx with a record of the given size and class set.
    virtual bool initCommonControls(std::uint32_t size, std::uint32_t classes) = 0;
};

}  // namespace car

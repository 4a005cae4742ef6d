// The JET engine's process: what passes between it and the run, and its own
// work, reached by its ProgID and called by name through IDispatch, as an
// automation client would.
#include "platform/win32/system/jet_child.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/win32/error_text.h"
#include "platform/win32/system/late_binding.h"
#include "platform/win32/system/own_process.h"

namespace car::win32 {

namespace {

// The pipe holds a whole answer many times over: the child never waits for
// the parent to read.
constexpr DWORD kPipeBytes = 64 * 1024;

constexpr char kAnswerMark[4] = {'C', 'A', 'R', 'J'};
constexpr std::size_t kAnswerHeader = sizeof kAnswerMark + 2 * sizeof(std::uint32_t);

// The C runtime's rules: backslashes are literal unless they precede a
// double quote, so those are doubled along with the quote's own escape.
std::wstring quoted(const std::wstring& argument) {
    std::wstring text = L"\"";
    for (auto at = argument.begin();; ++at) {
        std::size_t backslashes = 0;
        for (; at != argument.end() && *at == L'\\'; ++at) ++backslashes;
        if (at == argument.end()) {
            text.append(backslashes * 2, L'\\');
            break;
        }
        if (*at == L'"') {
            text.append(backslashes * 2 + 1, L'\\');
        } else {
            text.append(backslashes, L'\\');
        }
        text.push_back(*at);
    }
    return text + L"\"";
}

void appendWord(std::string& bytes, std::uint32_t word) {
    char raw[sizeof word];
    std::memcpy(raw, &word, sizeof word);
    bytes.append(raw, sizeof raw);
}

std::uint32_t wordAt(const std::string& bytes, std::size_t offset) {
    std::uint32_t word = 0;
    std::memcpy(&word, bytes.data() + offset, sizeof word);
    return word;
}

void compact(IDispatch& engine, const std::wstring& source, const std::wstring& destination) {
    const Bstr sourceText(source), destinationText(destination);
    Variant result;
    invokeByName(engine, L"CompactDatabase", DISPATCH_METHOD, {textArgument(sourceText), textArgument(destinationText)},
                 result);
}

// A crash of the engine ends the child at once with the exception's code,
// for the run to report. Left to the system, an unhandled exception may start
// a debugger first (Wine starts winedbg whatever the error mode says), which
// takes its time or waits for someone.
LONG WINAPI endOnCrash(EXCEPTION_POINTERS* pointers) {
    ::TerminateProcess(::GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// The list of the handles a child may inherit, and nothing else.
class InheritOnly {
public:
    InheritOnly(HANDLE first, HANDLE second) : handles_{first, second} {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!::InitializeProcThreadAttributeList(list_, 1, 0, &size))
            throwLastError(L"The JET engine's process could not be prepared.");
        initialised_ = true;
        if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_, sizeof handles_,
                                         nullptr, nullptr))
            throwLastError(L"The JET engine's process could not be prepared.");
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;
    ~InheritOnly() {
        if (initialised_) ::DeleteProcThreadAttributeList(list_);
    }
    LPPROC_THREAD_ATTRIBUTE_LIST get() const noexcept { return list_; }

private:
    HANDLE handles_[2];  // the list points at them: they live as long as the list
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
    bool initialised_ = false;
};

// An inheritable handle of this process, good for waiting on it and reading
// its id and nothing else.
UniqueHandle ownProcessForChild() {
    HANDLE handle = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &handle,
                           SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0))
        throwLastError(L"The JET engine's process could not be prepared.");
    return UniqueHandle(handle);
}

// The id of the process that started this one, from the system's list.
DWORD parentProcessId() {
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        if (entry.th32ProcessID == ::GetCurrentProcessId()) return entry.th32ParentProcessID;
    return 0;
}

// The handle whose value a word of the command line spells in decimal; null
// for any other word.
HANDLE handleNamed(const std::wstring& word) {
    if (word.empty() || word.size() > 10 || word.find_first_not_of(L"0123456789") != std::wstring::npos) return nullptr;
    const unsigned long long value = std::stoull(word);
    if (value > 0xFFFFFFFFull) return nullptr;
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
}

// True for a handle of the very process that started this one: while any
// handle of a process is open, the system gives its id to no other.
bool isParentProcess(HANDLE handle) {
    const DWORD id = ::GetProcessId(handle);
    return id != 0 && id == parentProcessId();
}

// Nobody is left to read the answer once the parent is gone, and an engine
// left running would hold the database: the process ends at once. The job
// does the same where the parent could make one; this covers a parent that
// could not. The wait has no limit, as it holds up nothing: the thread only
// watches, and ends with the process when the compaction is done.
DWORD WINAPI endWithParent(void* parent) {
    ::WaitForSingleObject(static_cast<HANDLE>(parent), INFINITE);
    ::TerminateProcess(::GetCurrentProcess(), kEngineParentGoneExit);
    return 0;
}

// One compaction in an apartment of the process's own, the engine created
// and released inside it; the answer goes to the parent once the apartment
// is closed, so that an answer means the engine is done with everything.
int hostCompaction(const std::wstring& source, const std::wstring& destination, HANDLE answer) {
    Error outcome{};
    try {
        const ComApartment apartment;
        compact(*createEngineObject().get(), source, destination);
    } catch (const Error& error) {
        outcome = error;
    } catch (const std::exception&) {
        outcome = hresultError(E_OUTOFMEMORY);
    }
    const std::string bytes = encodeEngineAnswer(outcome);
    DWORD written = 0;
    const bool sent = ::WriteFile(answer, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                      written == bytes.size();
    return sent ? 0 : kExitError;
}

}  // namespace

std::wstring engineChildCommandLine(const std::wstring& program, HANDLE parent, const std::wstring& source,
                                    const std::wstring& destination) {
    // A file name holds no double quote, so the program's needs no escapes.
    return L"\"" + program + L"\" " + kEngineChildSwitch + L" " +
           std::to_wstring(reinterpret_cast<std::uintptr_t>(parent)) + L" " + quoted(source) + L" " +
           quoted(destination);
}

EngineChild startEngineChild(const std::wstring& program, const std::wstring& source, const std::wstring& destination,
                             const std::wstring& folder) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, nullptr, kPipeBytes))
        throwLastError(L"The JET engine's process could not be started.");
    EngineChild child;
    child.answer.reset(readEnd);
    const UniqueHandle writer(writeEnd);
    if (!::SetHandleInformation(writer.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
        throwLastError(L"The JET engine's process could not be started.");
    const UniqueHandle parent = ownProcessForChild();
    const InheritOnly inherited(writer.get(), parent.get());
    std::wstring commandLine = engineChildCommandLine(program, parent.get(), source, destination);

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdOutput = writer.get();
    startup.lpAttributeList = inherited.get();
    // CREATE_NO_WINDOW keeps a console host (the bench's) from opening a
    // console for it.
    constexpr DWORD kCreation =
        NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT;
    PROCESS_INFORMATION created{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, kCreation, nullptr,
                          folder.c_str(), &startup.StartupInfo, &created)) {
        throwLastErrorAbout(program);
    }
    child.process.reset(created.hProcess);
    child.thread.reset(created.hThread);
    return child;
}

std::string encodeEngineAnswer(const Error& outcome) {
    const std::size_t room = (kEngineAnswerMaxBytes - kAnswerHeader) / sizeof(wchar_t);
    const std::wstring text = outcome.description.substr(0, room);
    std::string bytes(kAnswerMark, sizeof kAnswerMark);
    appendWord(bytes, static_cast<std::uint32_t>(outcome.number));
    appendWord(bytes, static_cast<std::uint32_t>(text.size()));
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

std::optional<Error> decodeEngineAnswer(const std::string& bytes) {
    if (bytes.size() < kAnswerHeader || bytes.compare(0, sizeof kAnswerMark, kAnswerMark, sizeof kAnswerMark) != 0)
        return std::nullopt;
    const std::uint32_t length = wordAt(bytes, sizeof kAnswerMark + sizeof(std::uint32_t));
    if (bytes.size() != kAnswerHeader + std::size_t{length} * sizeof(wchar_t)) return std::nullopt;
    std::wstring text(length, L'\0');
    std::memcpy(text.data(), bytes.data() + kAnswerHeader, text.size() * sizeof(wchar_t));
    return Error{static_cast<std::int32_t>(wordAt(bytes, sizeof kAnswerMark)), std::move(text)};
}

ComPtr<IDispatch> createEngineObject() {
    CLSID clsid{};
    check(::CLSIDFromProgID(L"Jro.JetEngine", &clsid));
    ComPtr<IDispatch> engine;
    check(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                             engine.putVoid()));
    return engine;
}

std::optional<int> runAsEngineChildIfAsked() {
    const wchar_t* line = ::GetCommandLineW();
    // An ordinary start does not load the shell to split its command line.
    if (lowerCase(line).find(kEngineChildSwitch + 1) == std::wstring::npos) return std::nullopt;
    const std::optional<std::vector<std::wstring>> words = splitCommandLine(line);
    const auto isSwitch = [](const std::wstring& word) {
        const std::wstring lower = lowerCase(word);
        return lower.size() > 1 && (lower[0] == L'/' || lower[0] == L'-') && lower.substr(1) == kEngineChildSwitch + 1;
    };
    if (!words || words->size() < 2 || std::none_of(words->begin() + 1, words->end(), isSwitch)) return std::nullopt;

    // From here on the process is the engine's host or refuses to be one; it
    // shows nothing either way, not even the system's boxes.
    showNoSystemBoxes();
    const HANDLE answer = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE parent = words->size() == 5 ? handleNamed((*words)[2]) : nullptr;
    const bool asTheParentGivesIt = words->size() == 5 && (*words)[1] == kEngineChildSwitch && answer != nullptr &&
                                    answer != INVALID_HANDLE_VALUE && ::GetFileType(answer) == FILE_TYPE_PIPE &&
                                    isParentProcess(parent);
    if (!asTheParentGivesIt) return kExitBadArgument;
    ::SetUnhandledExceptionFilter(endOnCrash);
    // Watching before the engine is created: the engine may never return.
    const UniqueHandle watch(::CreateThread(nullptr, 0, endWithParent, parent, 0, nullptr));
    if (!watch) return kExitError;
    return hostCompaction((*words)[3], (*words)[4], answer);
}

}  // namespace car::win32

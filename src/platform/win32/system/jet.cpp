// The JET engine, run in a process of its own: the program started again as
// the engine's host (jet_child.cpp), its answer read from a pipe.
#include <optional>
#include <string>
#include <utility>

#include "platform/win32/error_text.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/jet_child.h"
#include "platform/win32/system/own_process.h"
#include "platform/win32/system/win32_platform.h"

namespace car {

namespace {

// A job that ends the child when the parent lets go of it, however the parent
// ends: a run killed mid-compaction leaves no engine behind holding the
// database. Where the system refuses (a parent in a job that allows no other,
// a system without nested jobs), the child runs without it and ends itself
// once the parent is gone; why the job could not be had is given back for
// the run to record.
struct JobTie {
    win32::UniqueHandle job;
    std::optional<Error> refused;
};

JobTie jobEndingWithParent(HANDLE process) {
    JobTie tie;
    tie.job.reset(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!tie.job ||
        !::SetInformationJobObject(tie.job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !::AssignProcessToJobObject(tie.job.get(), process)) {
        tie.refused = win32::win32Error(::GetLastError());
        tie.job.reset();
    }
    return tie;
}

struct EngineProcess {
    win32::UniqueHandle process;
    win32::UniqueHandle job;
    win32::UniqueHandle answer;   // the pipe's read end
    std::optional<Error> untied;  // why it is in no job of ours
};

EngineProcess startEngine(const std::wstring& source, const std::wstring& destination, const std::wstring& folder) {
    win32::EngineChild child = win32::startEngineChild(win32::runningProgramPath(), source, destination, folder);
    JobTie tie = jobEndingWithParent(child.process.get());
    if (::ResumeThread(child.thread.get()) == static_cast<DWORD>(-1)) {
        const DWORD error = ::GetLastError();
        ::TerminateProcess(child.process.get(), error);
        throw win32::win32Error(error);
    }
    return EngineProcess{std::move(child.process), std::move(tie.job), std::move(child.answer), std::move(tie.refused)};
}

// What the child wrote, read only once it has ended and only as much as the
// pipe holds: nothing here waits for a writer.
std::optional<Error> readAnswer(HANDLE pipe) {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0 ||
        available > win32::kEngineAnswerMaxBytes)
        return std::nullopt;
    std::string bytes(available, '\0');
    DWORD read = 0;
    if (!::ReadFile(pipe, bytes.data(), available, &read, nullptr) || read != available) return std::nullopt;
    return win32::decodeEngineAnswer(bytes);
}

// How long an engine ended at its limit is given to be gone, so that the
// copy it wrote is no longer open; ending takes milliseconds.
constexpr DWORD kEndingWaitMs = 30'000;

EngineTimedOut timedOut(std::uint64_t limitMs) {
    const std::uint64_t minutes = limitMs < 60'000 ? 1 : limitMs / 60'000;
    EngineTimedOut error;
    error.number = kWmiTimeoutHr;  // HRESULT_FROM_WIN32(ERROR_TIMEOUT)
    error.description = L"The JET engine did not finish compacting within " + std::to_wstring(minutes) +
                        (minutes == 1 ? L" minute" : L" minutes") + L" and was ended.";
    return error;
}

// The engine's compaction runs for as long as the database needs, seconds to
// minutes, and may crash on a damaged database: so it runs in a process of
// its own while the window's thread goes on handling messages.
class Win32JetEngine final : public JetEngine {
public:
    explicit Win32JetEngine(Win32Platform& platform) : platform_(platform) {}

    void compactDatabase(const std::wstring& source, const std::wstring& destination, std::uint64_t limitMs,
                         const std::function<void(const Error&)>& untied) override {
        EngineProcess engine = startEngine(source, destination, platform_.systemFolders().system);
        if (engine.untied) untied(*engine.untied);
        if (!endedWithin(engine.process.get(), limitMs)) throwAtLimit(engine, limitMs);
        DWORD exitCode = 0;
        if (!::GetExitCodeProcess(engine.process.get(), &exitCode)) throw win32::win32Error(::GetLastError());
        const std::optional<Error> answer = readAnswer(engine.answer.get());
        if (answer && answer->number != 0) throw *answer;
        if (answer && exitCode == 0) return;
        EngineEnded ended;
        ended.number = static_cast<std::int32_t>(exitCode);
        ended.description = win32::systemMessage(exitCode);
        throw ended;
    }

private:
    // A wait takes at most what a DWORD holds short of INFINITE: a longer
    // limit is waited for in turns.
    bool endedWithin(HANDLE process, std::uint64_t limitMs) {
        constexpr std::uint64_t kLongestTurnMs = INFINITE - 1;
        for (std::uint64_t left = limitMs;;) {
            const std::uint64_t turn = left < kLongestTurnMs ? left : kLongestTurnMs;
            if (platform_.waitPumping(process, static_cast<DWORD>(turn))) return true;
            left -= turn;
            if (left == 0) return false;
        }
    }

    // Ends the engine once its time is up, and throws once it is gone (or
    // has had its time to go).
    [[noreturn]] void throwAtLimit(EngineProcess& engine, std::uint64_t limitMs) {
        ::TerminateProcess(engine.process.get(), ERROR_TIMEOUT);
        engine.job.reset();  // ends it as well, should the termination have been refused
        platform_.waitPumping(engine.process.get(), kEndingWaitMs);
        throw timedOut(limitMs);
    }

    Win32Platform& platform_;
};

}  // namespace

// The object is created here once, so that a machine without the engine
// fails where the object is asked for; each compaction has a process of its
// own for the engine.
std::unique_ptr<JetEngine> Win32Platform::createJetEngine() {
    win32::createEngineObject();
    return std::make_unique<Win32JetEngine>(*this);
}

}  // namespace car

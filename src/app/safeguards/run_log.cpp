#include "app/safeguards/run_log.h"

#include <cwchar>

#include "app/safeguards/reparse_words.h"
#include "app/version.h"

namespace car {
namespace {

constexpr int kAttempts = 20;
constexpr std::uint32_t kRetryMs = 50;  // a second in all

}  // namespace

template <class Attempt>
void RunLog::retried(Attempt attempt) {
    for (int tries = 1;; ++tries) {
        try {
            attempt();
            return;
        } catch (const Error& error) {
            const bool momentary = error.number == kSharingViolationHr || error.number == kLockViolationHr;
            if (!momentary || tries == kAttempts) throw;
        }
        platform_.sleep(kRetryMs);
    }
}

void RunLog::begin(const std::wstring& path, const std::wstring& header, const std::wstring& recordPath) {
    startedAt_ = platform_.milliseconds();
    active_ = true;
    open(beside_, path);
    open(record_, recordPath);
    write(header);
    restrictAccess();
}

void RunLog::beginRecord(const std::wstring& dbPath, const std::wstring& host, const std::wstring& kind) {
    begin(dbPath + L".log",
          L"Compact And Repair " + std::wstring(kProgramVersion) + L" on " + host + L", database " + dbPath + kind +
              L" (pid " + std::to_wstring(platform_.ownProcessId()) + L")",
          records_.PathFor(dbPath));
}

void RunLog::Sink::fail(const Error& error) {
    file.reset();
    failure = std::wstring(what) + L" " + path + L" could not be written (" + errorSummary(error) + L").";
}

// A log that is a link, or a second name of a file elsewhere, would have the
// run write, as SYSTEM, into whatever file someone made it point to.
void RunLog::open(Sink& sink, const std::wstring& path) {
    sink.path = path;
    sink.file.reset();
    sink.failure.clear();
    if (path.empty()) return;
    try {
        retried([&] { sink.file = platform_.openAppendFile(path); });
        if (sink.file->isReparsePoint()) {
            throw Error{kAccessDeniedHr,
                        L"it is a symbolic link, junction or mount point, which the run does not follow"};
        }
        if (const std::uint32_t names = sink.file->nameCount(); names > 1) {
            throw Error{kAccessDeniedHr, SecondNameWords(names)};
        }
    } catch (const Error& error) {
        sink.fail(error);
    }
}

void RunLog::restrictAccess() {
    if (!beside_.file) return;
    try {
        beside_.file->restrictToAdministrators();
    } catch (const Error& error) {
        write(L"The run log's access list could not be limited to the administrators and SYSTEM (" +
              errorSummary(error) + L")");
    }
}

std::wstring RunLog::failure() const {
    if (beside_.failure.empty() || record_.failure.empty()) return beside_.failure + record_.failure;
    return beside_.failure + L"\r\n" + record_.failure;
}

void RunLog::write(const std::wstring& text) {
    if (!active_) return;
    // One line a record: line breaks inside a text are written as \r and \n.
    std::wstring line = timeStamp() + L" ";
    for (const wchar_t c : text) {
        if (c == L'\r') {
            line += L"\\r";
        } else if (c == L'\n') {
            line += L"\\n";
        } else {
            line += c;
        }
    }
    // The record first: what the next start acts on is on its way to the
    // disk before the log says it.
    for (Sink* sink : {&record_, &beside_}) {
        if (!sink->file) continue;
        try {
            retried([&] { sink->file->appendLine(line); });
        } catch (const Error& error) {
            sink->fail(error);
        }
    }
}

void RunLog::writeProcessEnd(const std::wstring& commandLine, std::uint32_t process, bool ended,
                             const std::optional<std::uint32_t>& exitCode) {
    const std::wstring outcome = !ended     ? std::wstring(L"Still running, left to run on")
                                 : exitCode ? L"Ended with exit code " + std::to_wstring(*exitCode)
                                            : std::wstring(L"Ended");
    write(outcome + L" (pid " + std::to_wstring(process) + L"): " + commandLine);
}

void RunLog::end() {
    beside_.file.reset();
    record_.file.reset();
    active_ = false;
}

std::wstring RunLog::timeStamp() {
    const LocalTime t = platform_.localTime();
    wchar_t text[32];
    std::swprintf(text, 32, L"%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute, t.second,
                  t.millisecond);
    return text;
}

}  // namespace car

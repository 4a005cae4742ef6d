// Commands that act on the program rather than read it: one asks the
// window, over and over, whether it still answers messages, one asks it, as
// Windows does before a logoff or a shutdown, whether the session may end
// (the only places the driver sends a message, and only with a timeout, so a
// busy window cannot hold the driver); the last ends the program's process at
// a chosen moment, as a person ending a hung program or a crash would.
#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "platform/win32/handle.h"
#include "poll.h"
#include "windows_query.h"

namespace driver {
namespace {

using Clock = std::chrono::steady_clock;

// The silence is measured between answers, not from this timeout. It must
// outlast the silences to be measured: a message whose sender has given up is
// withdrawn (under Wine it is then often gone before a window that pumps only
// between sleeps looks), and a 50 ms probe missed most of those pumps. A
// second still never holds the driver for long, and a window that Windows
// takes for hung is refused at once.
constexpr UINT kProbeTimeoutMs = 1000;
constexpr DWORD kKillExitCode = 9;

long long msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// A stretch of time during which the status showed the text asked for.
struct Span {
    Clock::time_point start;
    Clock::time_point end;
};

struct Answer {
    Clock::time_point at;
    std::wstring status;
};

}  // namespace

int responsiveness(const Target& target, Arguments& args) {
    const std::optional<std::wstring> untilName = args.takeOption(L"--until-visible");
    const std::optional<std::wstring> during = args.takeOption(L"--during");
    const std::optional<std::wstring> gapsText = args.takeOption(L"--gaps");
    const std::optional<unsigned long> gaps = gapsText ? parseCount(*gapsText) : std::nullopt;
    if (gapsText && !gaps) return badUsage(L"responsiveness");
    const std::optional<unsigned> timeout = timeoutAt(args, 0);
    if (!timeout || args.count() != 1 || (untilName && untilName->empty())) return badUsage(L"responsiveness");
    const std::optional<StatusWindows> windows = requireStatusWindows(target, untilName);
    if (!windows) return kFailed;
    HWND main = windows->main;
    HWND status = windows->status;
    HWND until = windows->until;

    const Clock::time_point start = Clock::now();
    const Deadline deadline(*timeout);
    std::vector<Answer> answers;
    std::vector<Span> spans;
    std::optional<Clock::time_point> spanStart;
    unsigned long probes = 0;
    int code = kTimedOut;
    std::wstring reason = L"timeout";
    for (;;) {
        if (!IsWindow(main)) {
            code = until != nullptr ? kFailed : kSucceeded;
            reason = until != nullptr ? L"window gone before " + *untilName + L" was visible" : L"window gone";
            break;
        }
        if (until != nullptr && IsWindowVisible(until)) {
            code = kSucceeded;
            reason = *untilName + L" visible";
            break;
        }
        if (deadline.passed()) break;
        const std::wstring text = windowText(status);
        if (during && text == *during && !spanStart) spanStart = Clock::now();
        if (during && text != *during && spanStart) {
            spans.push_back({*spanStart, Clock::now()});
            spanStart.reset();
        }
        DWORD_PTR result = 0;
        ++probes;
        if (SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kProbeTimeoutMs, &result) != 0) {
            answers.push_back({Clock::now(), text});
        }
        // A window taken for hung is refused at once: never a busy loop
        // that would take the processor from the program it measures.
        pause(deadline, 5);
    }
    const Clock::time_point end = Clock::now();
    if (spanStart) spans.push_back({*spanStart, end});

    // The longest stretch without an answer, the start and end of the watch
    // counting as bounds: a window that never answers is silent throughout.
    long long longest = 0;
    std::wstring longestFrom, longestTo;
    Clock::time_point previous = start;
    std::wstring previousStatus = L"(start)";
    for (const Answer& answer : answers) {
        if (gaps && msBetween(previous, answer.at) > static_cast<long long>(*gaps)) {
            printLine(L"GAP: +" + std::to_wstring(msBetween(start, previous)) + L" " +
                      std::to_wstring(msBetween(previous, answer.at)) + L" ms " + escaped(previousStatus) + L" | " +
                      escaped(answer.status));
        }
        if (msBetween(previous, answer.at) > longest) {
            longest = msBetween(previous, answer.at);
            longestFrom = previousStatus;
            longestTo = answer.status;
        }
        previous = answer.at;
        previousStatus = answer.status;
    }
    if (msBetween(previous, end) > longest) {
        longest = msBetween(previous, end);
        longestFrom = previousStatus;
        longestTo = L"(end)";
    }
    printLine(L"PROBES: " + std::to_wstring(probes));
    printLine(L"ANSWERS: " + std::to_wstring(answers.size()));
    printLine(L"LONGEST_SILENCE_MS: " + std::to_wstring(longest));
    printLine(L"LONGEST_SILENCE_BETWEEN: " + escaped(longestFrom) + L" | " + escaped(longestTo));
    if (during) {
        long long total = 0, longestDuring = 0;
        std::size_t answered = 0;
        for (const Span& span : spans) {
            total += msBetween(span.start, span.end);
            Clock::time_point last = span.start;
            for (const Answer& answer : answers) {
                if (answer.at < span.start || answer.at > span.end) continue;
                ++answered;
                longestDuring = std::max(longestDuring, msBetween(last, answer.at));
                last = answer.at;
            }
            longestDuring = std::max(longestDuring, msBetween(last, span.end));
        }
        printLine(L"DURING_MS: " + std::to_wstring(total));
        printLine(L"DURING_ANSWERS: " + std::to_wstring(answered));
        printLine(L"DURING_LONGEST_SILENCE_MS: " + std::to_wstring(longestDuring));
    }
    printLine(L"END: " + reason);
    if (code == kTimedOut) return timedOut(L"responsiveness ran out of time");
    if (code != kSucceeded) return failed(reason);
    return kSucceeded;
}

int terminate(const Target& target, Arguments& args) {
    const std::optional<std::wstring> when = args.takeOption(L"--when-status");
    const std::optional<std::wstring> after = args.takeOption(L"--after");
    const std::optional<unsigned> timeout = timeoutAt(args, 0);
    const std::optional<unsigned long> delay = after ? parseCount(*after) : std::optional<unsigned long>(0);
    if (!timeout || !delay || args.count() != 1) return badUsage(L"terminate");
    const std::optional<StatusWindows> windows = requireStatusWindows(target, std::nullopt);
    if (!windows) return kFailed;
    HWND main = windows->main;
    HWND status = windows->status;
    const DWORD processId = target.process != 0 ? target.process : processOf(main);
    // Opened first, so that the id cannot be reused by another process meanwhile.
    const car::win32::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process) return failed(L"cannot open process " + std::to_wstring(processId));

    const Clock::time_point start = Clock::now();
    if (when && !pollUntil(
                    *timeout, [&] { return windowText(status) == *when; }, 2)) {
        return timedOut(L"the status never read: " + *when);
    }
    // The delay is the moment asked for, not a wait for something to happen.
    if (*delay > 0) Sleep(static_cast<DWORD>(*delay));
    const std::wstring last = IsWindow(status) ? windowText(status) : L"(no window)";
    const long long killedAfter = msBetween(start, Clock::now());
    if (!TerminateProcess(process.get(), kKillExitCode)) {
        return failed(L"TerminateProcess failed: error " + std::to_wstring(GetLastError()));
    }
    if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) return timedOut(L"the process did not end");
    printLine(L"KILLED_AT: " + escaped(last));
    printLine(L"KILLED_AFTER_MS: " + std::to_wstring(killedAfter));
    return kSucceeded;
}

// Sends WM_QUERYENDSESSION as a logoff would and prints "allowed" or
// "refused"; a window that does not answer within 5 s fails.
int queryEndSession(const Target& target, Arguments& args) {
    if (args.count() != 0) return badUsage(L"query-end-session");
    const HWND main = requireMainWindow(target);
    if (main == nullptr) return kFailed;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &result) == 0) {
        return failed(L"the window did not answer WM_QUERYENDSESSION");
    }
    printLine(result != 0 ? L"allowed" : L"refused");
    return kSucceeded;
}

}  // namespace driver

// Follows a whole run as a person watching the window would: every status
// text as it appears, every message box (answered with OK on request), and
// the window as it is at the end.
//
// A look at the window every few milliseconds misses a text that stands for
// less than that, or for longer when the machine is busy and the watch gets no
// turn. The program writes each status text to its run log as it shows it, so
// the watch reads the log as well and prints each text in the log's order and
// at its line's time: a text it saw in the window once its line is there, and
// any text the log has before it as one the window showed too briefly
// ("LOG: ").
#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "commands.h"
#include "message_box.h"
#include "output.h"
#include "poll.h"
#include "status_log.h"
#include "windows_query.h"

namespace driver {
namespace {

constexpr unsigned kWatchIntervalMs = 10;
// How long the status must stay the same, counted from the moment the awaited
// control appears at the earliest.
constexpr ULONGLONG kSettledMs = 300;
// The program logs a text right after it shows it. A text that has not reached
// the log after this long never will (the log could not be written): from
// then on the watch has only the window.
constexpr ULONGLONG kLogLagMs = 5000;

struct Outcome {
    int code;
    std::wstring reason;
};

struct SeenStatus {
    std::wstring text;
    ULONGLONG at;
};

class StatusWatch {
public:
    // until may be null: the watch then ends only when the window goes or time
    // is up. log may be null: the window alone is watched.
    StatusWatch(const Target& target, const StatusWindows& windows, std::wstring untilName, bool answerBoxes,
                std::unique_ptr<StatusLog> log)
        : target_(target),
          main_(windows.main),
          status_(windows.status),
          until_(windows.until),
          untilName_(std::move(untilName)),
          answerBoxes_(answerBoxes),
          log_(std::move(log)) {}

    // With a start time, each line is prefixed by the milliseconds since it.
    void timeFrom(ULONGLONG start) {
        start_ = start;
        startLocalMs_ = localMsNow();
    }
    // When the last status text showed.
    ULONGLONG lastShownAt() const { return shownAt_; }

    // The status as the watch begins, before anything it does can change it.
    // The log's lines up to it, written as the watch began, came before it.
    void begin() {
        readStatus();
        if (seen_.empty()) return;
        const std::wstring first = seen_.front().text;
        printStatus(first, seen_.front().at);
        seen_.clear();
        readLog();
        const auto own = std::find_if(logged_.rbegin(), logged_.rend(),
                                      [&](const LoggedStatus& logged) { return logged.text == first; });
        if (own != logged_.rend()) logged_.erase(logged_.begin(), own.base());
        if (logged_.empty()) lastLogged_ = first;
    }

    Outcome run(unsigned timeoutMs, unsigned intervalMs) {
        const Deadline deadline(timeoutMs);
        for (;;) {
            // The condition is taken before the status is read, so the text set
            // just before the control appeared is printed before the watch ends.
            const bool alive = IsWindow(main_) != FALSE;
            const bool reached = alive && until_ != nullptr && IsWindowVisible(until_);
            // A box is looked for before the log and the window are read: every
            // text shown before the box came up is in the log by then, and none
            // changes while it is up.
            if (answered_ != nullptr && !IsWindow(answered_)) answered_ = nullptr;
            HWND box = answerBoxes_ ? findMessageBox(target_) : nullptr;
            const bool newBox = box != nullptr && box != answered_;
            readLog();
            readStatus();
            printStatuses(newBox);
            if (newBox) {
                printLine(timed(L"BOX: " + escaped(messageText(box)), GetTickCount64()));
                pressOk(box);
                answered_ = box;
            }
            const bool boxPending = box != nullptr || answered_ != nullptr;
            // The window may still be writing its last texts when the control
            // appears: the watch ends once the status has stood still a while.
            if (reached && reachedAt_ == 0) reachedAt_ = GetTickCount64();
            if (reached && settled()) return finish({kSucceeded, untilName_ + L" visible"});
            if (!alive && !boxPending) {
                if (until_ != nullptr) return finish({kFailed, L"window gone before " + untilName_ + L" was visible"});
                return finish({kSucceeded, L"window gone"});
            }
            if (deadline.passed()) return finish({kTimedOut, L"timeout"});
            pause(deadline, intervalMs);
        }
    }

private:
    void readStatus() {
        if (!IsWindow(status_)) return;
        std::wstring text = windowText(status_);
        // A label destroyed during the read gives an empty text that it never showed.
        if (!IsWindow(status_)) return;
        if (looked_ && text == lastSeen_) return;
        changedAt_ = GetTickCount64();
        seen_.push_back({escaped(text), changedAt_});
        lastSeen_ = std::move(text);
        looked_ = true;
    }

    void readLog() {
        if (!log_) return;
        for (LoggedStatus& status : log_->readNew()) {
            // A text set again unchanged is no change a person sees.
            if (status.text == lastLogged_) continue;
            lastLogged_ = status.text;
            logged_.push_back(std::move(status));
        }
    }

    // Prints what the window and the log have shown, in the log's order. A
    // text the window shows before its line is in the log waits for the line,
    // since the log may yet bring texts that came before it; `flush` prints
    // it all now (a box is up, or the watch ends: the log has every line).
    void printStatuses(bool flush) {
        while (!seen_.empty()) {
            const SeenStatus& next = seen_.front();
            auto match = std::find_if(logged_.begin(), logged_.end(),
                                      [&](const LoggedStatus& logged) { return logged.text == next.text; });
            if (match == logged_.end() && log_ && !flush) {
                if (GetTickCount64() - next.at < kLogLagMs) break;
                failed(L"watch-status: \"" + next.text + L"\" never reached the run log; the window alone from here");
                log_.reset();
                logged_.clear();
                match = logged_.end();
            }
            // Its own line tells when it showed; a look at the window can be late.
            const ULONGLONG at = match != logged_.end() ? loggedAt(*match).value_or(next.at) : next.at;
            const bool logged = match != logged_.end();
            printLogged(match);
            if (logged) logged_.pop_front();
            printStatus(next.text, at);
            seen_.pop_front();
        }
        // Whatever the log holds now came before the window's present text.
        printLogged(logged_.end());
    }

    // The logged texts before `end`, each of which the window showed too briefly to be seen.
    void printLogged(std::deque<LoggedStatus>::iterator end) {
        for (auto it = logged_.begin(); it != end; ++it) {
            printStatus(L"LOG: " + it->text, loggedAt(*it).value_or(GetTickCount64()));
        }
        logged_.erase(logged_.begin(), end);
    }

    void printStatus(const std::wstring& line, ULONGLONG at) {
        printLine(timed(line, at));
        shownAt_ = at;
    }

    // The tick at which a logged text appeared, by the log's own clock.
    std::optional<ULONGLONG> loggedAt(const LoggedStatus& status) const {
        if (start_ == 0 || !status.localMs) return std::nullopt;
        return start_ + static_cast<ULONGLONG>(std::max<std::int64_t>(0, *status.localMs - startLocalMs_));
    }

    Outcome finish(Outcome outcome) {
        readLog();
        readStatus();
        printStatuses(true);
        return outcome;
    }

    bool settled() const { return GetTickCount64() - std::max(changedAt_, reachedAt_) >= kSettledMs; }

    std::wstring timed(const std::wstring& line, ULONGLONG at) const {
        if (start_ == 0) return line;
        return L"+" + std::to_wstring(at >= start_ ? at - start_ : 0) + L" " + line;
    }

    const Target& target_;
    ULONGLONG start_ = 0;
    std::int64_t startLocalMs_ = 0;
    ULONGLONG changedAt_ = 0;
    ULONGLONG shownAt_ = 0;
    ULONGLONG reachedAt_ = 0;
    HWND main_;
    HWND status_;
    HWND until_;
    std::wstring untilName_;
    bool answerBoxes_;
    std::unique_ptr<StatusLog> log_;
    std::wstring lastSeen_;
    bool looked_ = false;
    std::wstring lastLogged_;
    std::deque<SeenStatus> seen_;
    std::deque<LoggedStatus> logged_;
    HWND answered_ = nullptr;
};

// The run log beside the database that the window shows, named as the
// program names it; none when the window shows no database.
std::unique_ptr<StatusLog> runLogOf(HWND main) {
    HWND path = controlWindow(main, car::layoutOf(car::ControlId::txtDBPath));
    const std::wstring database = path != nullptr ? windowText(path) : std::wstring();
    if (database.empty()) return nullptr;
    return std::make_unique<StatusLog>(database + L".log");
}

}  // namespace

int watchStatus(const Target& target, Arguments& args) {
    const bool answerBoxes = args.takeFlag(L"--answer-boxes");
    const std::optional<std::wstring> untilName = args.takeOption(L"--until-visible");
    const std::optional<std::wstring> clickName = args.takeOption(L"--click");
    // Two presses queued at once, as a double click or Enter held down gives them.
    const bool twice = args.takeFlag(L"--double-click");
    const std::optional<std::wstring> interval = args.takeOption(L"--interval");
    const std::optional<unsigned long> intervalMs = interval ? parseCount(*interval) : kWatchIntervalMs;
    const std::optional<unsigned> timeout = timeoutAt(args, 0);
    if (!timeout || args.count() != 1 || (untilName && untilName->empty()) || !intervalMs || *intervalMs == 0) {
        return badUsage(L"watch-status");
    }
    const std::optional<StatusWindows> windows = requireStatusWindows(target, untilName);
    if (!windows) return kFailed;
    HWND main = windows->main;

    // With --click the watch presses the button itself, so that the time from
    // the press to the end can be measured without a process start between.
    HWND button = nullptr;
    if (clickName) {
        const car::ControlLayout* clickLayout = layoutNamed(*clickName);
        button = clickLayout != nullptr ? controlWindow(main, *clickLayout) : nullptr;
        if (button == nullptr || !IsWindowVisible(button) || !IsWindowEnabled(button)) {
            return failed(L"cannot press " + *clickName);
        }
    }

    // The log's end and the first status are taken before the press, so that
    // the run's first line and the text before it are both this watch's.
    StatusWatch watch(target, *windows, untilName.value_or(L""), answerBoxes, runLogOf(main));
    const ULONGLONG pressedAt = GetTickCount64();
    if (button != nullptr) watch.timeFrom(pressedAt);
    watch.begin();
    if (button != nullptr && !PostMessageW(button, BM_CLICK, 0, 0)) return failed(L"cannot post the click");
    if (button != nullptr && twice && !PostMessageW(button, BM_CLICK, 0, 0)) return failed(L"cannot post the click");
    const Outcome outcome = watch.run(*timeout, static_cast<unsigned>(*intervalMs));
    printLine(L"END: " + outcome.reason);
    // The run is over with its last status text.
    if (button != nullptr) printLine(L"ELAPSED_MS: " + std::to_wstring(watch.lastShownAt() - pressedAt));
    if (IsWindow(main)) printDump(main);
    if (outcome.code == kTimedOut) return timedOut(L"watch-status ran out of time");
    if (outcome.code != kSucceeded) return failed(outcome.reason);
    return kSucceeded;
}

}  // namespace driver

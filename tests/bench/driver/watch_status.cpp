// Follows a whole run as a person watching the window would: every status
// text as it appears, every message box (answered with OK on request), and
// the window as it is at the end.
#include <algorithm>
#include <string>
#include <utility>

#include "commands.h"
#include "message_box.h"
#include "output.h"
#include "poll.h"
#include "windows_query.h"

namespace driver {
namespace {

// Fine enough to catch a text that stays up for 100 ms even when a poll runs late.
constexpr unsigned kWatchIntervalMs = 10;
// How long the status must stay the same, counted from the moment the awaited
// control appears at the earliest.
constexpr ULONGLONG kSettledMs = 300;

struct Outcome {
    int code;
    std::wstring reason;
};

class StatusWatch {
public:
    // until may be null: the watch then ends only when the window goes or time is up.
    StatusWatch(const Target& target, HWND main, HWND status, HWND until, std::wstring untilName, bool answerBoxes)
        : target_(target),
          main_(main),
          status_(status),
          until_(until),
          untilName_(std::move(untilName)),
          answerBoxes_(answerBoxes) {}

    // With a start time, each line is prefixed by the milliseconds since it.
    void timeFrom(ULONGLONG start) { start_ = start; }
    ULONGLONG lastChangeAt() const { return changedAt_; }

    Outcome run(unsigned timeoutMs) {
        const Deadline deadline(timeoutMs);
        for (;;) {
            // The condition is taken before the status is read, so the text set
            // just before the control appeared is printed before the watch ends.
            const bool alive = IsWindow(main_) != FALSE;
            const bool reached = alive && until_ != nullptr && IsWindowVisible(until_);
            readStatus();
            const bool boxPending = answerBoxes_ && handleBox();
            // The window may still be writing its last texts when the control
            // appears: the watch ends once the status has stood still a while.
            if (reached && reachedAt_ == 0) reachedAt_ = GetTickCount64();
            if (reached && settled()) return {kSucceeded, untilName_ + L" visible"};
            if (!alive && !boxPending) {
                if (until_ != nullptr) return {kFailed, L"window gone before " + untilName_ + L" was visible"};
                return {kSucceeded, L"window gone"};
            }
            if (deadline.passed()) return {kTimedOut, L"timeout"};
            pause(deadline, kWatchIntervalMs);
        }
    }

private:
    void readStatus() {
        if (!IsWindow(status_)) return;
        std::wstring text = windowText(status_);
        // A label destroyed during the read gives an empty text that it never showed.
        if (!IsWindow(status_)) return;
        if (printed_ && text == last_) return;
        changedAt_ = GetTickCount64();
        printLine(timed(escaped(text)));
        last_ = std::move(text);
        printed_ = true;
    }

    // Answers a newly shown box; true while one of the target's boxes is up.
    bool handleBox() {
        if (answered_ != nullptr && !IsWindow(answered_)) answered_ = nullptr;
        HWND box = findMessageBox(target_);
        if (box == nullptr) return answered_ != nullptr;
        if (box != answered_) {
            printLine(timed(L"BOX: " + escaped(messageText(box))));
            pressOk(box);
            answered_ = box;
        }
        return true;
    }

    bool settled() const { return GetTickCount64() - std::max(changedAt_, reachedAt_) >= kSettledMs; }

    std::wstring timed(std::wstring line) const {
        if (start_ == 0) return line;
        return L"+" + std::to_wstring(GetTickCount64() - start_) + L" " + line;
    }

    const Target& target_;
    ULONGLONG start_ = 0;
    ULONGLONG changedAt_ = 0;
    ULONGLONG reachedAt_ = 0;
    HWND main_;
    HWND status_;
    HWND until_;
    std::wstring untilName_;
    bool answerBoxes_;
    std::wstring last_;
    bool printed_ = false;
    HWND answered_ = nullptr;
};

}  // namespace

int watchStatus(const Target& target, Arguments& args) {
    const bool answerBoxes = args.takeFlag(L"--answer-boxes");
    const std::optional<std::wstring> untilName = args.takeOption(L"--until-visible");
    const std::optional<std::wstring> clickName = args.takeOption(L"--click");
    // Two presses queued at once, as a double click or Enter held down gives them.
    const bool twice = args.takeFlag(L"--double-click");
    const std::optional<unsigned> timeout = timeoutAt(args, 0);
    if (!timeout || args.count() != 1 || (untilName && untilName->empty())) return badUsage(L"watch-status");
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

    StatusWatch watch(target, main, windows->status, windows->until, untilName.value_or(L""), answerBoxes);
    const ULONGLONG pressedAt = GetTickCount64();
    if (button != nullptr) watch.timeFrom(pressedAt);
    if (button != nullptr && !PostMessageW(button, BM_CLICK, 0, 0)) return failed(L"cannot post the click");
    if (button != nullptr && twice && !PostMessageW(button, BM_CLICK, 0, 0)) return failed(L"cannot post the click");
    const Outcome outcome = watch.run(*timeout);
    printLine(L"END: " + outcome.reason);
    // The run is over with its last status text.
    if (button != nullptr) printLine(L"ELAPSED_MS: " + std::to_wstring(watch.lastChangeAt() - pressedAt));
    if (IsWindow(main)) printDump(main);
    if (outcome.code == kTimedOut) return timedOut(L"watch-status ran out of time");
    if (outcome.code != kSucceeded) return failed(outcome.reason);
    return kSucceeded;
}

}  // namespace driver

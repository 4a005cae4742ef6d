// The commands about the program's message boxes.
#include <string>

#include "commands.h"
#include "message_box.h"
#include "output.h"
#include "poll.h"

namespace driver {

int answerBox(const Target& target, Arguments& args) {
    // A question's box has Yes and No instead of OK.
    const bool yes = args.takeFlag(L"--yes");
    const bool no = args.takeFlag(L"--no");
    const std::optional<unsigned> timeout = timeoutAt(args, 0);
    if (!timeout || args.count() != 1 || (yes && no)) return badUsage(L"answer-box");
    HWND box = nullptr;
    if (!pollUntil(*timeout, [&] { return (box = findMessageBox(target)) != nullptr; })) {
        return timedOut(L"no message box titled " + target.boxTitle);
    }
    printLine(escaped(messageText(box)));
    const WPARAM button = MAKEWPARAM(yes ? IDYES : no ? IDNO : IDOK, BN_CLICKED);
    if (PostMessageW(box, WM_COMMAND, button, 0) == FALSE) return failed(L"cannot answer the message box");
    if (!pollUntil(*timeout, [&] { return IsWindow(box) == FALSE; })) {
        return timedOut(L"the message box is still open after OK");
    }
    return kSucceeded;
}

int noBox(const Target& target, Arguments& args) {
    const std::optional<unsigned> timeout = timeoutAt(args, 0);
    if (!timeout || args.count() != 1) return badUsage(L"no-box");
    HWND box = nullptr;
    if (pollUntil(*timeout, [&] { return (box = findMessageBox(target)) != nullptr; })) {
        // Shown on stdout as answer-box would, so that a failing test says what.
        printLine(escaped(messageText(box)));
        return failed(L"a message box titled " + target.boxTitle + L" appeared");
    }
    return kSucceeded;
}

}  // namespace driver

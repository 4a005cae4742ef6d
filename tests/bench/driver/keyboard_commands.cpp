// The keyboard as a person uses it: keys go to the control that has the
// focus, and a text box's selection is copied with Ctrl+C. Everything is
// posted, as clicks are.
#include <optional>
#include <string>

#include "commands.h"
#include "output.h"
#include "poll.h"
#include "windows_query.h"

namespace driver {
namespace {

// The window's control with the keyboard focus (read from the system, not
// asked of the window), or the window itself when no control has it.
HWND focusIn(HWND main) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info)) return main;
    return info.hwndFocus != nullptr && IsChild(main, info.hwndFocus) ? info.hwndFocus : main;
}

std::optional<UINT> virtualKey(const std::wstring& name) {
    if (name == L"esc") return VK_ESCAPE;
    if (name == L"enter") return VK_RETURN;
    if (name == L"tab") return VK_TAB;
    return std::nullopt;
}

bool readClipboardText(std::wstring& text) {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(nullptr)) return false;
    const HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* chars = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (chars != nullptr) {
        text = chars;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return chars != nullptr;
}

}  // namespace

// With --when-focus NAME the key waits (at most 5 s) until the focus is on
// that control: keys posted earlier may not have been handled yet.
int pressKey(const Target& target, Arguments& args) {
    const std::optional<std::wstring> focusName = args.takeOption(L"--when-focus");
    if (args.count() != 1 || !virtualKey(args.at(0))) return badUsage(L"key");
    HWND main = requireMainWindow(target);
    if (main == nullptr) return kFailed;
    if (!IsWindowVisible(main) || !IsWindowEnabled(main)) return failed(L"the window is hidden or disabled");
    if (focusName) {
        const car::ControlLayout* layout = layoutNamed(*focusName);
        const HWND wanted = layout != nullptr ? controlWindow(main, *layout) : nullptr;
        if (wanted == nullptr) return failed(L"no control named " + *focusName);
        if (!pollUntil(5000, [&] { return focusIn(main) == wanted; })) return timedOut(*focusName + L" has no focus");
    }
    const HWND focus = focusIn(main);
    const UINT key = *virtualKey(args.at(0));
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    if (!PostMessageW(focus, WM_KEYDOWN, key, scan | 1)) return failed(L"cannot post the key");
    // The key down may already have ended the program (Esc, Enter on
    // "Cancel"): a window that is gone needs no key up.
    if (!PostMessageW(focus, WM_KEYUP, key, scan | 1 | (LPARAM{3} << 30)) && IsWindow(focus)) {
        return failed(L"cannot post the key up");
    }
    return kSucceeded;
}

// A click into the box (which takes the focus), all of it selected, and the
// character that Ctrl+C becomes; then the clipboard's text, once it is there.
int copyText(const Target& target, Arguments& args) {
    const std::optional<unsigned> timeout = timeoutAt(args, 1);
    if (!timeout || args.count() != 2) return badUsage(L"copy");
    const car::ControlLayout* layout = layoutNamed(args.at(0));
    HWND main = requireMainWindow(target);
    if (layout == nullptr || main == nullptr) return failed(L"no such control or no window");
    HWND box = controlWindow(main, *layout);
    if (box == nullptr || !sameClass(box, L"Edit")) return failed(args.at(0) + L" is not a text box");
    if (!OpenClipboard(nullptr)) return failed(L"cannot empty the clipboard");
    EmptyClipboard();
    CloseClipboard();
    constexpr wchar_t kCtrlC = 3;
    if (!PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1)) ||
        !PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(1, 1)) || !PostMessageW(box, EM_SETSEL, 0, -1) ||
        !PostMessageW(box, WM_CHAR, kCtrlC, 1)) {
        return failed(L"cannot post to " + args.at(0));
    }
    std::wstring text;
    if (!pollUntil(*timeout, [&] { return readClipboardText(text); })) return timedOut(L"nothing was copied");
    printLine(escaped(text));
    return kSucceeded;
}

}  // namespace driver

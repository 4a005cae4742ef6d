#include "message_box.h"

#include "windows_query.h"

namespace driver {
namespace {

constexpr int kMessageTextId = 0xFFFF;

}  // namespace

HWND findMessageBox(const Target& target) {
    return findTopLevel([&](HWND window) {
        return sameClass(window, L"#32770") && IsWindowVisible(window) && windowText(window) == target.boxTitle &&
               (target.process == 0 || processOf(window) == target.process);
    });
}

std::wstring messageText(HWND box) {
    if (HWND text = findChildById(box, kMessageTextId); text != nullptr && sameClass(text, L"Static")) {
        return windowText(text);
    }
    std::wstring joined;
    forEachChild(box, [&](HWND child) {
        if (!sameClass(child, L"Static")) return;
        const std::wstring text = windowText(child);
        if (text.empty()) return;
        if (!joined.empty()) joined += L"\n";
        joined += text;
    });
    return joined;
}

bool pressOk(HWND box) { return PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0) != FALSE; }

}  // namespace driver

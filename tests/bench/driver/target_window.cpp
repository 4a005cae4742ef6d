#include "target_window.h"

#include "output.h"
#include "windows_query.h"

namespace driver {
namespace {

std::wstring flag(std::wstring_view name, bool value) { return std::wstring(name) + (value ? L"=1" : L"=0"); }

}  // namespace

HWND findMainWindow(const Target& target) {
    return findTopLevel([&](HWND window) {
        return sameClass(window, car::kWindowClassName) && (target.process == 0 || processOf(window) == target.process);
    });
}

const car::ControlLayout* layoutNamed(std::wstring_view name) {
    for (const car::ControlLayout& layout : car::controlLayouts()) {
        if (layout.name == name) return &layout;
    }
    return nullptr;
}

bool isWindowed(car::ControlKind kind) { return kind != car::ControlKind::Timer && kind != car::ControlKind::Line; }

HWND controlWindow(HWND main, const car::ControlLayout& layout) {
    return findChildById(main, car::controlWindowId(layout.id));
}

std::wstring describeMainWindow(HWND main) {
    RECT client{};
    GetClientRect(main, &client);
    return L"window\t" + flag(L"visible", IsWindowVisible(main) != FALSE) + L"\t" +
           flag(L"enabled", IsWindowEnabled(main) != FALSE) + L"\tclient=" +
           std::to_wstring(client.right - client.left) + L"x" + std::to_wstring(client.bottom - client.top) +
           L"\tdpi=" + std::to_wstring(dpiOf(main)) + L"\t" + escaped(windowText(main));
}

std::wstring describeControl(HWND main, std::wstring_view name, HWND control) {
    const RECT place = rectWithin(main, control);
    return std::wstring(name) + L"\t" + className(control) + L"\t" +
           flag(L"visible", IsWindowVisible(control) != FALSE) + L"\t" +
           flag(L"enabled", IsWindowEnabled(control) != FALSE) + L"\t" + std::to_wstring(place.left) + L"," +
           std::to_wstring(place.top) + L"," + std::to_wstring(place.right - place.left) + L"," +
           std::to_wstring(place.bottom - place.top) + L"\t" + escaped(windowText(control));
}

void printDump(HWND main) {
    printLine(describeMainWindow(main));
    for (const car::ControlLayout& layout : car::controlLayouts()) {
        HWND control = controlWindow(main, layout);
        if (control != nullptr) {
            printLine(describeControl(main, layout.name, control));
        } else if (isWindowed(layout.kind)) {
            // A control that should be a window but is not is worth a line of
            // its own: a test then fails on it instead of on a missing line.
            printLine(std::wstring(layout.name) + L"\tmissing");
        }
    }
}

}  // namespace driver

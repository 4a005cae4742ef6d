#include "ui/layout.h"

#include <array>
#include <utility>

namespace car {
namespace {

ControlState at(int left, int top, int width, int height, std::wstring caption = {}, bool visible = true) {
    ControlState s;
    s.left = left;
    s.top = top;
    s.width = width;
    s.height = height;
    s.caption = std::move(caption);
    s.visible = visible;
    return s;
}

ControlState progressBar() {
    ControlState s = at(120, 3240, 6975, 375, {}, false);
    s.max = 10.0F;
    return s;
}

ControlState timer() {
    ControlState s;
    s.enabled = false;
    s.interval = 50;
    return s;
}

// Lines keep X1, Y1 in left/top and X2, Y2 in width/height.
ControlState line(int x1, int y1, int x2, int y2) { return at(x1, y1, x2, y2); }

const std::array<ControlLayout, 20>& table() {
    using K = ControlKind;
    using I = ControlId;
    static const std::array<ControlLayout, 20> layouts{{
        {I::cmdClose, L"cmdClose", K::Button, at(3600, 3120, 1455, 495, L"Cancel")},
        {I::cmdCompact, L"cmdCompact", K::Button, at(1080, 3120, 2415, 495, L"Compact and Repair Database")},
        {I::cmdOpenDataFolder, L"cmdOpenDataFolder", K::Button, at(5160, 3120, 1695, 495, L"Open Data Folder", false)},
        {I::tmrSpin, L"tmrSpin", K::Timer, timer()},
        {I::prjProgress, L"prjProgress", K::ProgressBar, progressBar()},
        {I::imgTick, L"imgTick", K::Picture, at(240, 2040, 960, 885, {}, false)},
        {I::qoline, L"qoline", K::Line, line(840, 600, 1320, 120), false, false, false},
        {I::tpline, L"tpline", K::Line, line(240, 600, 720, 120)},
        {I::thline, L"thline", K::Line, line(1440, 600, 1920, 120)},
        {I::imgTH, L"imgTH", K::Picture, at(1440, 120, 480, 480)},
        {I::imgQO, L"imgQO", K::Picture, at(840, 120, 480, 480)},
        {I::imgTP, L"imgTP", K::Picture, at(240, 120, 480, 480)},
        {I::lblSpin, L"lblSpin", K::Label, at(120, 3000, 375, 375, L"|", false)},
        {I::lblStatus, L"lblStatus", K::Label, at(240, 2040, 6735, 855, std::wstring(kReadyStatus)), true},
        {I::lblStatus2, L"lblStatus2", K::Label, at(120, 1680, 615, 255, L"Status:")},
        {I::txtDBPath, L"txtDBPath", K::Label, at(120, 1200, 6975, 375), false, true},
        {I::Label1_1, L"Label1(1)", K::Label,
         at(2400, 240, 4815, 495,
            L"Compact and repair JET database of Teamharbor, Quorvin Mail Server and Quorvin Organizer"),
         true},
        {I::Label1_0, L"Label1(0)", K::Label, at(0, 0, 7335, 855), true},
        {I::lblDBPath, L"lblDBPath", K::Label, at(120, 960, 6855, 255, L"Database Path:")},
        {I::Label3, L"Label3", K::Label, at(120, 1920, 6975, 1095), true, true},
    }};
    return layouts;
}

}  // namespace

std::span<const ControlLayout> controlLayouts() { return table(); }

const ControlLayout& layoutOf(ControlId id) {
    for (const ControlLayout& layout : table()) {
        if (layout.id == id) return layout;
    }
    static const ControlLayout form{ControlId::Form, L"frmCompactAndRepair", ControlKind::Window,
                                    at(0, 0, kClientWidthTwips, kClientHeightTwips, std::wstring(kFormCaption))};
    return form;
}

}  // namespace car

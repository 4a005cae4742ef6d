#include "platform/win32/window/control_windows.h"

#include <commctrl.h>

#include "platform/win32/window/window_pictures.h"
#include "platform/win32/window/window_text_boxes.h"

namespace car::win32 {

ControlWindowClass controlWindowClassOf(const ControlLayout& layout) {
    const DWORD common = WS_CHILD | WS_CLIPSIBLINGS;
    switch (layout.kind) {
        case ControlKind::Button:
            return {WC_BUTTONW, common | WS_TABSTOP | BS_PUSHBUTTON};
        case ControlKind::ProgressBar:
            return {PROGRESS_CLASSW, common};
        case ControlKind::Picture:
            return {kPictureClassName, common};
        case ControlKind::Line:
            return {kLineClassName, common};
        case ControlKind::Label:
        default:
            // The path and the status can be selected and copied; their border,
            // if any, is drawn by the text box itself (adoptTextBox).
            if (layout.id == ControlId::txtDBPath || layout.id == ControlId::lblStatus) {
                return {WC_EDITW, common | textBoxStyle(layout.id == ControlId::lblStatus), true};
            }
            // Prefix characters stay literal, and the captions wrap.
            return {WC_STATICW, common | SS_NOPREFIX | SS_LEFT | (layout.border ? WS_BORDER : 0)};
    }
}

std::vector<ControlId> controlWindowOrder() {
    std::vector<ControlId> order{ControlId::cmdCompact, ControlId::cmdClose, ControlId::cmdOpenDataFolder};
    for (const ControlLayout& layout : controlLayouts()) {
        if (layout.kind != ControlKind::Button && layout.kind != ControlKind::Timer) order.push_back(layout.id);
    }
    return order;
}

}  // namespace car::win32

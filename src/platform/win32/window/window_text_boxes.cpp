#include "platform/win32/window/window_text_boxes.h"

#include <commctrl.h>

#include <string>

#include "platform/win32/window/window_handles.h"

namespace car::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 1;

LRESULT CALLBACK textBoxProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR border) {
    switch (message) {
        case WM_SETTEXT: {
            // Another process reads a window's text from what the system keeps
            // for the window, without asking it; an edit keeps its text to
            // itself, so the system is given each new text as well.
            const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
            DefWindowProcW(edit, message, wParam, lParam);
            return result;
        }
        case WM_GETDLGCODE:
            // A multi-line edit asks for every key, Esc and Enter included; a
            // read-only one has no use for them.
            return DefSubclassProc(edit, message, wParam, lParam) &
                   ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
        case WM_NCCALCSIZE:
            // An edit draws a WS_BORDER inside its text area, a pixel further
            // in than a label's; this border is outside it, where a label has it.
            if (border != 0) {
                const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
                InflateRect(reinterpret_cast<RECT*>(lParam), -GetSystemMetrics(SM_CXBORDER),
                            -GetSystemMetrics(SM_CYBORDER));
                return result;
            }
            break;
        case WM_NCPAINT:
            if (border != 0) {
                const WindowDc dc(edit);
                RECT frame{};
                GetWindowRect(edit, &frame);
                OffsetRect(&frame, -frame.left, -frame.top);
                FrameRect(dc.get(), &frame, GetSysColorBrush(COLOR_WINDOWFRAME));
                return 0;
            }
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(edit, textBoxProc, kSubclassId);
            break;
        default:
            break;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

}  // namespace

DWORD textBoxStyle(bool wrapped) {
    return ES_READONLY | ES_LEFT | (wrapped ? ES_MULTILINE | ES_AUTOVSCROLL : ES_AUTOHSCROLL);
}

void adoptTextBox(HWND edit, bool border) {
    SetWindowSubclass(edit, textBoxProc, kSubclassId, border ? 1 : 0);
    // The text it was created with, stored as every later one will be.
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
    DefWindowProcW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    // The border's frame is measured anew; without one nothing has changed.
    if (border) {
        SetWindowPos(edit, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

}  // namespace car::win32

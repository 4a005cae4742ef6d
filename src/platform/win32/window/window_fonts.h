// The captions' fonts. Every control starts with the default dialog font at
// the window's DPI; a caption that does not fit its control in it gets the
// largest smaller size at which it does. The default dialog font differs
// between machines (and under Wine between installed fonts), while the
// controls' places and sizes are fixed, so only measuring tells.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "platform/win32/window/window_handles.h"

namespace car::win32 {

// How a control lays out its caption, which decides how it is measured.
enum class CaptionLayout {
    Button,     // one line, centred inside the button's frame
    Label,      // wrapped at blanks, from the top-left corner
    PathBox,    // a read-only edit of one line, without margins
    StatusBox,  // a read-only edit of many lines, wrapped by the edit itself
};

// The sizes of the default dialog font at one DPI, each made once and kept
// for as long as the object lives (controls may still be using them).
class FontSizes {
public:
    FontSizes() = default;
    explicit FontSizes(UINT dpi);

    // The largest size at which the caption fits the control, down to a
    // smallest readable size; below that, the caption is given that size
    // (the read-only edits then scroll). For a StatusBox the font is tried
    // on the control itself, which wraps its text as it will show it.
    HFONT fitting(HWND control, CaptionLayout layout, const std::wstring& caption);

private:
    HFONT sized(int height);
    bool fits(HWND control, CaptionLayout layout, const std::wstring& caption, HFONT font) const;

    LOGFONTW base_{};
    UINT dpi_ = 96;
    std::map<int, UniqueFont> fonts_;  // by character height in pixels
};

// Gives a control a font; a read-only edit keeps no margins, so that its
// text stands where a label's would.
void setControlFont(HWND control, CaptionLayout layout, HFONT font, bool redraw);

}  // namespace car::win32

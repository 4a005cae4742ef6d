// DPI handling for the window. The functions that know a window's own DPI
// exist only on Windows 10 and later, so each is looked up at run time and
// falls back to the system DPI of older systems.
#pragma once

#include <windows.h>

namespace car::win32 {

inline constexpr UINT kDefaultDpi = 96;
inline constexpr int kTwipsPerInch = 1440;

// Twips to pixels at a DPI, rounded to the nearest pixel.
inline int twipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }

// Pixels meant for 96 DPI, scaled to a DPI (never below one).
inline int scalePixels(int pixels, UINT dpi) {
    const int scaled = MulDiv(pixels, static_cast<int>(dpi), static_cast<int>(kDefaultDpi));
    return scaled > 0 ? scaled : 1;
}

// The DPI of the system (of the primary screen when nothing better is known).
UINT systemDpi();
// The DPI the window is shown at.
UINT dpiForWindow(HWND window);
// A system metric at a DPI.
int systemMetricForDpi(int index, UINT dpi);
// The window rectangle that gives a client area of the size at the DPI.
SIZE windowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi);

// Makes the process DPI aware when its manifest did not (per monitor where
// the system knows it, else system aware).
void ensureDpiAwareness();

}  // namespace car::win32

// The database path and the status are texts an administrator may want to
// paste into a ticket or a shell, so they are read-only edit controls that
// look and behave as the labels they stand for: selectable with the mouse and
// copied with Ctrl+C, but out of the tab order, and leaving Tab, Enter and
// Esc to the window.
#pragma once

#include <windows.h>

namespace car::win32 {

// Window styles for a read-only text box: one line that scrolls sideways, or
// lines wrapped at the box's width.
DWORD textBoxStyle(bool wrapped);

// Makes a newly created text box keep the window's keys and, with `border`,
// gives it the thin border a bordered label has, outside its text area.
void adoptTextBox(HWND edit, bool border);

}  // namespace car::win32

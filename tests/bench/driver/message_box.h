// The program's message boxes: standard dialogs (class #32770) titled with
// the program's own title, whose text is the static control 0xFFFF.
#pragma once

#include <windows.h>

#include <string>

#include "target_window.h"

namespace driver {

// A visible message box of the target (of any process when none is named).
HWND findMessageBox(const Target& target);

// The box's message: the text control's, or every static text in order.
std::wstring messageText(HWND box);

// Presses OK without waiting for the box: a posted command, never a sent one.
bool pressOk(HWND box);

}  // namespace driver

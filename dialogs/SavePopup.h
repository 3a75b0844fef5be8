// The Save pop-up: a small custom-drawn window with two entries, "Save As" and
// "Cancel", floating over the bottom of the main window. Tapping an entry
// closes it and posts the entry's command to the owner; tapping anywhere else
// on it closes it without a command.
#pragma once

#include "platform/win32.h"

// The commands the entries post to the owner (low word of WM_COMMAND's wParam).
enum { POPUP_CMD_SAVE_AS = 32817, POPUP_CMD_CANCEL = 32818 };

// Sent (not posted) to the owner with zero parameters when the pop-up is
// destroyed and, after an entry was chosen, once more before its command.
constexpr UINT WM_SAVE_POPUP_CLOSED = 1529;

// Opens the pop-up over the bottom of `owner` and returns its window; null when
// it cannot be made. One pop-up at a time: an open one is closed first.
HWND ShowSavePopup(HINSTANCE instance, HWND owner);

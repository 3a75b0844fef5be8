// The program's own modal message box: a caption, one or two lines of text and
// either "OK" and "Cancel" or "OK" alone. A backslash in the text starts the
// second line.
#pragma once

#include <string>

#include "platform/win32.h"

enum { PANEL_OK_CANCEL = 0, PANEL_OK = 1 };

// 0 when OK was chosen; 1 for Cancel or when the panel was dismissed.
int AppMessageBox(HINSTANCE instance, HWND owner, const wchar_t* caption, const wchar_t* text, int style);

// Splits a message at its last backslash: line 1 before it, line 2 after it; a
// text without one is all line 2.
void SplitMessageLines(const std::wstring& text, std::wstring& line1, std::wstring& line2);

// The text of the panel that is open now, empty when none is (state reports).
std::wstring OpenMessagePanelText();

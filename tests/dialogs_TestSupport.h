// Shared pieces of the dialog tests: the program's dialog resources read from
// the source tree, a headless platform driven by a script, and an owner window
// that records what the dialogs tell it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32.h"

namespace dialogs_test {

// Registers the templates of the Save As dialog, the message panel and the Save
// pop-up and the Save As soft keys; with `withArt`, also the bitmaps and PNG
// images drawn in resources/art. Call after Start.
HINSTANCE UseResources(bool withArt = true);

// Starts the headless platform with `script`.
void Start(std::vector<platform::ScriptCommand> script);

// Runs the program's loop until the script has run out.
void RunLoop();

platform::ScriptCommand Tap(POINT p);
platform::ScriptCommand Press(POINT p);
platform::ScriptCommand Move(POINT p);
platform::ScriptCommand Release(POINT p);
platform::ScriptCommand Key(const wchar_t* name);
platform::ScriptCommand Type(const std::wstring& text);
platform::ScriptCommand Call(std::function<void()> fn);

// What an owner window made by MakeOwner was told, in order: WM_COMMAND with
// its command, or the pop-up's closing message.
struct OwnerMessage {
    UINT message;
    int command;  // WM_COMMAND only
    bool operator==(const OwnerMessage& o) const { return message == o.message && command == o.command; }
};

// A visible grey window whose client area is 480 x 640 at the top of the
// screen's work area, like the main window's.
HWND MakeOwner(std::vector<OwnerMessage>* log);

}  // namespace dialogs_test

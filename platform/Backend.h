// What a backend gives the window manager: a clock, input, and a place to show
// the composed screen. Two exist: BackendSdl (a real window) and BackendHeadless
// (scripted input on a virtual clock, for tests and replays).
#pragma once

#include <memory>

#include "platform/Platform.h"
#include "platform/raster.h"

namespace platform {

class Backend {
public:
    virtual ~Backend() = default;
    // Milliseconds since start, on this backend's clock.
    virtual DWORD Now() = 0;
    // Waits until input arrives (delivered through the Input* functions of
    // WindowManager.h) or `timeoutMs` passes; -1 waits for input only. Returns
    // false when there will never be more input (the program should end).
    virtual bool Wait(int timeoutMs) = 0;
    // Shows the composed screen when something changed.
    virtual void Present() = 0;
    virtual void SetBusyCursor(bool busy) = 0;
    // Brings the program's window to the front (a second start asked for it).
    virtual void Raise() = 0;
    virtual bool IsHeadless() const = 0;
};

// Null when no window can be shown; `error` then holds the message for the user
// (no display at all, or why the window could not be opened).
std::unique_ptr<Backend> CreateSdlBackend(const Options& options, std::string& error);
std::unique_ptr<Backend> CreateHeadlessBackend(const Options& options);

}  // namespace platform

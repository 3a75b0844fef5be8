// Starting the platform: which backend draws the screen, where "My Storage", the
// registry file and the single-instance locks live, and the headless hooks that
// tests and scripted runs use to drive a program deterministically.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace platform {

// Screen geometry of the handset: a task bar on top, the work area, the soft-key
// bar at the bottom. The main window's client area is the work area less the
// soft-key bar: 480 x 640.
constexpr int kScreenWidth = 480;
constexpr int kTaskBarHeight = 52;
constexpr int kMenuBarHeight = 52;
constexpr int kScreenHeight = kTaskBarHeight + 640 + kMenuBarHeight;

// One step of a headless run, read from a script line or built by a test.
struct ScriptCommand {
    enum Kind { Press, Move, Release, Tap, Key, Type, Wait, Sleep, Screenshot, State, Choose, Call, ChooseFolder };
    ScriptCommand() = default;
    ScriptCommand(Kind k, int px = 0, int py = 0, std::wstring t = {}) : kind(k), x(px), y(py), text(std::move(t)) {}

    Kind kind = State;
    int x = 0, y = 0;            // screen pixels for stylus commands; milliseconds for Wait and Sleep
    std::wstring text;           // key name, typed text, file or folder name
    std::string path;            // screenshot file
    std::function<void()> call;  // Call: runs inside the program's message loop
    int line = 0;
};

struct Options {
    bool headless = false;
    int scale = 1;            // window magnification of the real window
    std::string storageRoot;  // "My Storage"; empty: the user's Pictures folder
    std::string configDir;    // registry file; empty: $XDG_CONFIG_HOME/lumetra
    // Single-instance locks and window files; empty: $XDG_RUNTIME_DIR/lumetra, or
    // a private folder for a headless run so that it never meets a window.
    std::string runtimeDir;
    std::vector<ScriptCommand> script;       // headless: replayed when the program waits for input
    std::function<void(std::string&)> echo;  // headless output (state lines); default stdout
};

// Reads a small copy of a picture file for the picture chooser: the picture
// shrunk to fit maxWidth x maxHeight, as blue, green, red bytes, top row first,
// rows of 3 x width bytes, malloc'ed; null when the file is not a picture the
// program reads. The program registers its own reader so that the chooser shows
// a thumbnail exactly for the files it can open.
using ThumbnailReader = uint8_t* (*)(const wchar_t* path, int maxWidth, int maxHeight, int* width, int* height);
void SetThumbnailReader(ThumbnailReader reader);

// Prepares the backend. False with a message on stderr when it cannot start
// (no display for the real window, for example).
bool Initialize(const Options& options);
// Closes windows, timers and the backend; the platform can be initialised again.
void Shutdown();

// Parses a script file: one command a line, '#' starts a comment. False with a
// message naming the line when a line cannot be read.
bool ParseScript(const std::string& text, std::vector<ScriptCommand>& out, std::string& error);

// The program's state report for the script's `state` command.
void SetStateReporter(std::function<void(std::string&)> reporter);

// Headless inspection for tests.
std::string StorageRoot();
// Writes the composed screen to a PNG file.
bool SaveScreenshot(const std::string& path);
// The composed screen's pixel at (x, y) as 0x00RRGGBB; 0 outside the screen.
uint32_t ScreenPixel(int x, int y);
// The whole composed screen, row by row, as 0x00RRGGBB.
std::vector<uint32_t> ScreenPixels();
// Text of every window of the given class that is open now (for tests).
std::vector<std::wstring> OpenWindowTitles();
// Drawing objects (bitmaps, brushes, pens, fonts) and imaging objects
// (factories, images, bitmaps) alive now, so tests can check that a window or
// panel gives back everything it made.
int LiveGdiObjects();
// Device contexts alive now (window, screen and memory DCs).
int LiveDeviceContexts();
int LiveImagingObjects();

}  // namespace platform

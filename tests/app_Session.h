// Runs the real application headless in this process: a storage folder, a script
// of stylus and key commands, and the state reports and exit code it produced.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/TestFiles.h"

struct SessionResult {
    int exitCode = -1;
    std::string output;                                      // everything the run echoed
    std::vector<std::map<std::string, std::string>> states;  // one per `state` command
};

// Screen position of the message panel's single OK button, and of its two buttons.
constexpr int kPanelOkX = 240, kPanelOkY = 490;
constexpr int kPanelTwoOkX = 130, kPanelCancelX = 350, kPanelButtonsY = 490;
// The client area starts below the task bar.
constexpr int kClientTop = platform::kTaskBarHeight;

SessionResult RunSession(const std::string& storage, const std::string& script,
                         std::vector<platform::ScriptCommand> extra = {});

// The built program, for tests that start it as a process of its own.
std::string LumetraProgram();

// The window file a running program has published in its runtime folder;
// empty while there is none.
std::string WindowFileIn(const std::string& runtime);

// What changes when a file is written anew: a save replaces the file by a new
// one (a new inode and time) even when the bytes come out the same.
std::string FileVersion(const std::string& path);

// Writes `rgb` (red, green, blue bytes, top row first) as a JPEG of the given
// quality, and reads a JPEG back the same way (empty when it cannot).
void WriteJpegPixels(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height, int quality);
std::vector<uint8_t> ReadJpegPixels(const std::string& path, int* width, int* height);

// Writes a colour JPEG of the given size (a smooth gradient) at `path`.
void WriteTestJpeg(const std::string& path, int width, int height);

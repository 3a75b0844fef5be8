// Runs the real application headless in this process: a storage folder, a script
// of stylus and key commands, and the state reports and exit code it produced.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
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
// Screen points of the controls: the bar buttons, the soft keys, the Save pop-up.
constexpr int kBarY = 652;
constexpr int kZoomX = 34, kFindX = 102, kAddX = 170, kEraseX = 238, kEffectX = 307, kCompareX = 376, kResetX = 445;
constexpr int kSaveKeyX = 120, kMenuKeyX = 360, kSoftKeyY = 718;
constexpr int kPopupSaveAsY = 590, kPopupCancelY = 657;

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

// A session built step by step: script lines and calls into the running program.
struct Steps {
    using ScriptCommand = platform::ScriptCommand;
    std::vector<ScriptCommand> list;

    Steps& Do(const std::string& text) {
        std::vector<ScriptCommand> parsed;
        std::string error;
        if (!platform::ParseScript(text, parsed, error)) throw std::runtime_error(error);
        list.insert(list.end(), parsed.begin(), parsed.end());
        return *this;
    }
    Steps& Tap(int x, int y) { return Do("tap " + std::to_string(x) + " " + std::to_string(y) + "\n"); }
    // A brush stroke: pressed at the first point, moved to the second (one touch
    // of the brush there) and lifted.
    Steps& Stroke(int x0, int y0, int x1, int y1) {
        return Do("press " + std::to_string(x0) + " " + std::to_string(y0) + "\nmove " + std::to_string(x1) + " " +
                  std::to_string(y1) + "\nrelease " + std::to_string(x1) + " " + std::to_string(y1) + "\n");
    }
    Steps& Call(std::function<void()> f) {
        ScriptCommand c(ScriptCommand::Call);
        c.call = std::move(f);
        list.push_back(c);
        return *this;
    }
    Steps& State() { return Do("state\n"); }
    // Answers an open question or notice: OK of a question, or the single OK.
    Steps& AnswerOk() { return Tap(kPanelTwoOkX, kPanelButtonsY); }
    Steps& AnswerCancel() { return Tap(kPanelCancelX, kPanelButtonsY); }
    Steps& Dismiss() { return Tap(kPanelOkX, kPanelOkY); }
};

// Copies the sample photo `name` into `storage`; returns its path there.
std::string CopySample(const testing_support::TempDir& storage, const std::string& name);

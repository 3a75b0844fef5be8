// Starting and stopping the platform, and reading the scripts of headless runs.
#include "platform/Platform.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/Backend.h"
#include "platform/WindowManager.h"

namespace platform {

namespace {

// Deliberately a plain pointer that only Shutdown() deletes: when the display
// goes away Xlib ends the program with exit(), and a backend torn down by the
// static destructors that exit() runs would wait forever on the dead display.
Backend* g_backend = nullptr;
Options g_options;
std::function<void(std::string&)> g_stateReporter;
// The private runtime folder of a headless run, removed again at Shutdown().
std::string g_privateRuntimeDir;

// A headless run is a scripted replay, not the user's application: left to the
// shared default folder it would find a running window, hand over to it and end
// without running its script. Without --runtime it gets a fresh folder of its
// own, so its lock and window file are seen by no other start.
bool MakePrivateRuntimeDir(std::string& dir) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "lumetra-headless-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return false;
    dir = pattern;
    return true;
}

}  // namespace

Backend* CurrentBackend() {
    return g_backend;
}
const Options& CurrentOptions() {
    return g_options;
}

bool Initialize(const Options& options) {
    Shutdown();
    g_options = options;
    if (g_options.storageRoot.empty()) {
        const char* home = getenv("HOME");
        g_options.storageRoot = std::string(home ? home : ".") + "/Pictures";
    }
    if (options.headless) {
        if (g_options.runtimeDir.empty()) {
            if (!MakePrivateRuntimeDir(g_privateRuntimeDir)) {
                perror("lumetra: cannot make a runtime folder");
                return false;
            }
            g_options.runtimeDir = g_privateRuntimeDir;
        }
        g_backend = CreateHeadlessBackend(g_options).release();
    } else {
        std::string error;
        g_backend = CreateSdlBackend(g_options, error).release();
        if (!g_backend) {
            fprintf(stderr, "lumetra: %s\n", error.c_str());
            return false;
        }
    }
    RegisterBuiltinClasses();
    return true;
}

void Shutdown() {
    if (!g_backend) return;
    ResetWindowManager();
    ResetMessageQueue();
    ResetBuiltinClasses();
    ResetShell();
    delete g_backend;
    g_backend = nullptr;
    g_stateReporter = nullptr;
    if (!g_privateRuntimeDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(g_privateRuntimeDir, ec);
        // A lock taken after the platform stopped must not make the folder again.
        if (g_options.runtimeDir == g_privateRuntimeDir) g_options.runtimeDir.clear();
        g_privateRuntimeDir.clear();
    }
}

void SetStateReporter(std::function<void(std::string&)> reporter) {
    g_stateReporter = std::move(reporter);
}

void SetStateReporterCalled(std::string& out) {
    if (g_stateReporter) g_stateReporter(out);
}

std::string StorageRoot() {
    return g_options.storageRoot;
}

bool SaveScreenshot(const std::string& path) {
    Surface screen;
    if (!AllocSurface(screen, kScreenWidth, kScreenHeight, PixelFormat::XRGB32, false)) return false;
    ComposeScreen(screen);
    bool ok = WriteSurfacePng(screen, path.c_str());
    FreeSurface(screen);
    return ok;
}

std::vector<uint32_t> ScreenPixels() {
    std::vector<uint32_t> pixels;
    Surface screen;
    if (!AllocSurface(screen, kScreenWidth, kScreenHeight, PixelFormat::XRGB32, false)) return pixels;
    ComposeScreen(screen);
    pixels.reserve((size_t)kScreenWidth * kScreenHeight);
    for (int y = 0; y < kScreenHeight; y++)
        for (int x = 0; x < kScreenWidth; x++) pixels.push_back(screen.Get(x, y) & 0xFFFFFF);
    FreeSurface(screen);
    return pixels;
}

uint32_t ScreenPixel(int x, int y) {
    if (x < 0 || y < 0 || x >= kScreenWidth || y >= kScreenHeight) return 0;
    std::vector<uint32_t> pixels = ScreenPixels();
    return pixels.empty() ? 0 : pixels[(size_t)y * kScreenWidth + x];
}

bool ParseScript(const std::string& text, std::vector<ScriptCommand>& out, std::string& error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        number++;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string verb;
        if (!(words >> verb)) continue;
        ScriptCommand c;
        c.line = number;
        std::string rest;
        auto needXY = [&](ScriptCommand::Kind k) {
            c.kind = k;
            return static_cast<bool>(words >> c.x >> c.y);
        };
        bool ok = true;
        if (verb == "press") {
            ok = needXY(ScriptCommand::Press);
        } else if (verb == "move") {
            ok = needXY(ScriptCommand::Move);
        } else if (verb == "release") {
            ok = needXY(ScriptCommand::Release);
        } else if (verb == "tap") {
            ok = needXY(ScriptCommand::Tap);
        } else if (verb == "wait" || verb == "sleep") {
            c.kind = verb == "wait" ? ScriptCommand::Wait : ScriptCommand::Sleep;
            ok = static_cast<bool>(words >> c.x) && c.x >= 0;
        } else if (verb == "key" || verb == "type" || verb == "choose" || verb == "choosefolder" ||
                   verb == "screenshot") {
            std::getline(words >> std::ws, rest);
            while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\r')) rest.pop_back();
            ok = !rest.empty();
            c.kind = verb == "key"            ? ScriptCommand::Key
                     : verb == "type"         ? ScriptCommand::Type
                     : verb == "choose"       ? ScriptCommand::Choose
                     : verb == "choosefolder" ? ScriptCommand::ChooseFolder
                                              : ScriptCommand::Screenshot;
            c.text = Widen(rest);
            c.path = rest;
        } else if (verb == "state") {
            c.kind = ScriptCommand::State;
        } else {
            error = "line " + std::to_string(number) + ": unknown command '" + verb + "'";
            return false;
        }
        if (!ok) {
            error = "line " + std::to_string(number) + ": '" + verb + "' is missing its arguments";
            return false;
        }
        out.push_back(std::move(c));
    }
    return true;
}

}  // namespace platform

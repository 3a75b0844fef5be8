#include "app_Session.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "app/MainWindow.h"
#include "app/WinMain.h"
#include "imaging/Thumbnail.h"
#include "resources/Resources.h"
#include "support/JpegBytes.h"

SessionResult RunSession(const std::string& storage, const std::string& script,
                         std::vector<platform::ScriptCommand> extra) {
    SessionResult result;
    static testing_support::TempDir runtime;  // locks and window files of this test process
    platform::Options options;
    options.headless = true;
    options.storageRoot = storage;
    options.runtimeDir = runtime.path();
    options.configDir = runtime.path();
    std::string error;
    if (!platform::ParseScript(script, options.script, error)) throw std::runtime_error(error);
    for (auto& c : extra) options.script.push_back(c);
    options.echo = [&](std::string& text) {
        result.output += text;
        if (text.rfind("state=", 0) == 0) {
            std::map<std::string, std::string> state;
            std::istringstream lines(text);
            std::string line;
            while (std::getline(lines, line)) {
                size_t eq = line.find('=');
                if (eq != std::string::npos) state[line.substr(0, eq)] = line.substr(eq + 1);
            }
            result.states.push_back(state);
        }
    };
    if (!platform::Initialize(options)) throw std::runtime_error("platform did not start");
    SetMaxOpenPixels(0);
    g_app = AppState{};
    g_level = 0;
    g_zoom = 0;
    g_clientRect = RECT{0, 0, 0, 0};
    g_srcSpan = SpanRect{0, 0, 0, 0};
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(LumetraResources()));
    platform::RegisterResourceModule(instance, LumetraResources());
    platform::SetThumbnailReader(ReadPictureThumbnail);
    platform::SetStateReporter([](std::string& out) { out = DescribeMainWindowState(); });
    result.exitCode = WinMain(instance, nullptr, nullptr, SW_SHOW);
    platform::Shutdown();
    return result;
}

std::string LumetraProgram() {
    return std::string(LUMETRA_BINARY_DIR) + "/lumetra";
}

std::string WindowFileIn(const std::string& runtime) {
    std::error_code ec;
    if (!std::filesystem::exists(runtime, ec)) return "";
    for (auto& entry : std::filesystem::directory_iterator(runtime, ec))
        if (entry.path().filename().string().rfind("window-", 0) == 0) return entry.path().string();
    return "";
}

std::string FileVersion(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return "missing";
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_size);
}

void WriteJpegPixels(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height, int quality) {
    testing_support::WriteBytes(path, EncodeJpeg(rgb, width, height, quality));
}

std::vector<uint8_t> ReadJpegPixels(const std::string& path, int* width, int* height) {
    std::vector<uint8_t> rgb;
    const std::vector<unsigned char> jpeg = testing_support::ReadBytes(path);
    if (!jpeg.empty()) DecodeJpeg(jpeg, rgb, width, height);
    return rgb;
}

void WriteTestJpeg(const std::string& path, int width, int height) {
    std::vector<uint8_t> rgb((size_t)width * height * 3);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            uint8_t* p = &rgb[((size_t)y * width + x) * 3];
            p[0] = (uint8_t)(x * 255 / width);
            p[1] = (uint8_t)(y * 255 / height);
            p[2] = 128;
        }
    }
    WriteJpegPixels(path, rgb, width, height, 75);
}

std::string CopySample(const testing_support::TempDir& storage, const std::string& name) {
    const std::string path = storage.File(name);
    std::filesystem::copy_file(std::string(LUMETRA_SOURCE_DIR) + "/samples/" + name, path);
    return path;
}

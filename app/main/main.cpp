// Lumetra's program entry on Linux: reads the command line, starts the platform
// (a real window, or headless with a script), registers the resources and runs
// the application.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "app/MainWindow.h"
#include "app/WinMain.h"
#include "imaging/LoadPicture.h"
#include "imaging/Thumbnail.h"
#include "platform/Platform.h"
#include "resources/Resources.h"

namespace {

void Usage(FILE* out) {
    fputs(
        "usage: lumetra [--storage DIR] [--scale N] [--max-pixels N] [--config DIR] [--runtime DIR]\n"
        "       lumetra --headless --script FILE [--storage DIR] [--max-pixels N] [--config DIR] [--runtime DIR]\n"
        "\n"
        "  --storage DIR   folder the picture chooser shows as \"My Storage\"\n"
        "                  (default: ~/Pictures)\n"
        "  --scale N       magnify the window N times (1 to 4) for large monitors\n"
        "  --max-pixels N  open pictures of up to N pixels (default 2000000, at most\n"
        "                  100000000); also the DWORD MaxPixels under Software\\Lumetra\n"
        "                  in the settings file\n"
        "  --headless      run without a display, replaying --script\n"
        "  --script FILE   commands for a headless run, one a line (see README)\n"
        "  --config DIR    folder of the settings file (default: ~/.config/lumetra)\n"
        "  --runtime DIR   folder of the single-instance lock and window files\n"
        "                  (default: $XDG_RUNTIME_DIR/lumetra; a headless run gets\n"
        "                  a private folder unless this is given)\n"
        "  -h, --help      this text\n"
        "\n"
        "Only one window runs at a time: a second start brings it to the front and\n"
        "ends with status 0.\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    platform::Options options;
    std::string scriptPath;
    int64_t maxPixels = 0;  // 0: the setting, or the default
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                fprintf(stderr, "lumetra: %s needs a value\n", name);
                exit(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--storage") {
            options.storageRoot = value("--storage");
        } else if (arg == "--script") {
            scriptPath = value("--script");
        } else if (arg == "--scale") {
            options.scale = atoi(value("--scale"));
            if (options.scale < 1 || options.scale > 4) {
                fprintf(stderr, "lumetra: --scale takes 1 to 4\n");
                return 2;
            }
        } else if (arg == "--max-pixels") {
            const char* text = value("--max-pixels");
            char* end = nullptr;
            maxPixels = strtoll(text, &end, 10);
            if (end == text || *end != '\0' || maxPixels < 1 || maxPixels > kMaxPicturePixels) {
                fprintf(stderr, "lumetra: --max-pixels takes 1 to %lld\n", (long long)kMaxPicturePixels);
                return 2;
            }
        } else if (arg == "--config") {
            options.configDir = value("--config");
        } else if (arg == "--runtime") {
            options.runtimeDir = value("--runtime");
        } else {
            fprintf(stderr, "lumetra: unknown option '%s'\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (!scriptPath.empty()) {
        if (!options.headless) {
            fprintf(stderr, "lumetra: --script needs --headless\n");
            return 2;
        }
        std::ifstream in(scriptPath);
        if (!in) {
            fprintf(stderr, "lumetra: cannot read script %s\n", scriptPath.c_str());
            return 2;
        }
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        if (!platform::ParseScript(text.str(), options.script, error)) {
            fprintf(stderr, "lumetra: %s: %s\n", scriptPath.c_str(), error.c_str());
            return 2;
        }
    }
    if (!platform::Initialize(options)) return 1;
    SetMaxOpenPixels(maxPixels);
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(LumetraResources()));
    platform::RegisterResourceModule(instance, LumetraResources());
    platform::SetThumbnailReader(ReadPictureThumbnail);
    platform::SetStateReporter([](std::string& out) { out = DescribeMainWindowState(); });
    int code = WinMain(instance, nullptr, nullptr, SW_SHOW);
    platform::Shutdown();
    return code;
}

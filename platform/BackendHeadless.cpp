// Headless backend: no display, a virtual clock and scripted input.
//
// Supports:
//  [X] Stylus press, move, release and tap at screen pixels.
//  [X] Keys by name ("ctrl+q", "f1", "return") and typed text.
//  [X] Virtual time: `wait N` advances the clock, firing due timers in order.
//  [X] Screenshots of the composed screen as PNG; state reports from the program.
//  [X] Choosing a file in an open picture chooser by name, and a folder in an
//      open folder picker.
//  [X] `sleep N`: real time passes (to let another process act); a request to
//      come to the front is reported as "raised".
// The next script command runs only when the program has nothing left to do, so
// every step sees the effects of the one before it.
#include <chrono>
#include <cstdio>
#include <cwctype>
#include <thread>

#include "platform/Backend.h"
#include "platform/WindowManager.h"

namespace platform {

namespace {

bool ParseKey(const std::wstring& name, UINT& vk, bool& ctrl) {
    std::wstring k;
    for (wchar_t c : name) k += (wchar_t)towlower(c);
    ctrl = false;
    if (k.rfind(L"ctrl+", 0) == 0) {
        ctrl = true;
        k = k.substr(5);
    }
    static const struct {
        const wchar_t* name;
        UINT vk;
    } named[] = {{L"f1", VK_F1},         {L"f2", VK_F2},          {L"return", VK_RETURN}, {L"enter", VK_RETURN},
                 {L"escape", VK_ESCAPE}, {L"backspace", VK_BACK}, {L"left", VK_LEFT},     {L"right", VK_RIGHT},
                 {L"up", VK_UP},         {L"down", VK_DOWN},      {L"delete", VK_DELETE}, {L"home", VK_HOME},
                 {L"end", VK_END},       {L"tab", VK_TAB},        {L"space", VK_SPACE}};
    for (auto& n : named)
        if (k == n.name) {
            vk = n.vk;
            return true;
        }
    if (k.size() == 1 && iswalnum(k[0])) {
        vk = (UINT)towupper(k[0]);
        return true;
    }
    return false;
}

class HeadlessBackend : public Backend {
public:
    explicit HeadlessBackend(const Options& options) : options_(options) {}

    DWORD Now() override { return now_; }

    bool Wait(int timeoutMs) override {
        for (;;) {
            if (waiting_) {
                if (timeoutMs >= 0 && now_ + (DWORD)timeoutMs <= waitUntil_) {
                    now_ += (DWORD)timeoutMs;  // a timer falls due inside the wait
                    return true;
                }
                now_ = waitUntil_;
                waiting_ = false;
                return true;
            }
            if (timeoutMs == 0) return true;
            if (next_ >= options_.script.size()) return false;
            const ScriptCommand& c = options_.script[next_++];
            if (c.kind == ScriptCommand::Wait) {
                waiting_ = true;
                waitUntil_ = now_ + (DWORD)c.x;
                continue;
            }
            Run(c);
            return true;
        }
    }

    void Present() override {}
    void SetBusyCursor(bool) override {}
    void Raise() override { Echo("raised\n"); }
    bool IsHeadless() const override { return true; }

private:
    void Echo(const std::string& text) {
        std::string line = text;
        if (options_.echo) {
            options_.echo(line);
        } else {
            fputs(line.c_str(), stdout);
            fflush(stdout);
        }
    }

    void Run(const ScriptCommand& c) {
        switch (c.kind) {
            case ScriptCommand::Press:
                InputStylus(StylusAction::Down, c.x, c.y);
                break;
            case ScriptCommand::Move:
                InputStylus(StylusAction::Move, c.x, c.y);
                break;
            case ScriptCommand::Release:
                InputStylus(StylusAction::Up, c.x, c.y);
                break;
            case ScriptCommand::Tap:
                InputStylus(StylusAction::Down, c.x, c.y);
                InputStylus(StylusAction::Up, c.x, c.y);
                break;
            case ScriptCommand::Key: {
                UINT vk = 0;
                bool ctrl = false;
                if (!ParseKey(c.text, vk, ctrl)) {
                    Echo("script line " + std::to_string(c.line) + ": unknown key\n");
                    break;
                }
                InputKey(vk, true, ctrl);
                InputKey(vk, false, ctrl);
                break;
            }
            case ScriptCommand::Type:
                for (wchar_t ch : c.text) InputChar(ch);
                break;
            case ScriptCommand::Screenshot:
                Echo(SaveScreenshot(c.path) ? "screenshot " + c.path + "\n"
                                            : "screenshot " + c.path + " could not be written\n");
                break;
            case ScriptCommand::State: {
                std::string out;
                SetStateReporterCalled(out);
                Echo(out.empty() ? "state: no report\n" : out);
                break;
            }
            case ScriptCommand::Choose: {
                std::string why;
                if (!ChooserChoose(c.text, true, &why))
                    Echo("script line " + std::to_string(c.line) + ": cannot choose " + Narrow(c.text) + ": " + why +
                         "\n");
                break;
            }
            case ScriptCommand::ChooseFolder: {
                std::string why;
                if (!ChooserChooseFolder(c.text, &why))
                    Echo("script line " + std::to_string(c.line) + ": cannot choose folder " + Narrow(c.text) + ": " +
                         why + "\n");
                break;
            }
            case ScriptCommand::Call:
                if (c.call) c.call();
                break;
            case ScriptCommand::Sleep:
                std::this_thread::sleep_for(std::chrono::milliseconds(c.x));
                break;
            case ScriptCommand::Wait:
                break;
        }
    }

    Options options_;
    size_t next_ = 0;
    DWORD now_ = 0;
    bool waiting_ = false;
    DWORD waitUntil_ = 0;
};

}  // namespace

std::unique_ptr<Backend> CreateHeadlessBackend(const Options& options) {
    return std::make_unique<HeadlessBackend>(options);
}

}  // namespace platform

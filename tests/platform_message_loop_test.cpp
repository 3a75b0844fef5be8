// The headless window manager, message loop, script parser, registry and text.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/resources.h"
#include "support/TestFiles.h"

namespace {

using platform::ScriptCommand;
using SC = ScriptCommand;

std::vector<std::string> g_log;

LRESULT LoggingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    switch (m) {
        case WM_TIMER:
            g_log.push_back("timer " + std::to_string(w) + " at " + std::to_string(GetTickCount()));
            if (w == 7) KillTimer(h, 7);  // a one-shot
            return 0;
        case WM_LBUTTONDOWN:
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP: {
            const char* what = m == WM_LBUTTONDOWN ? "down " : m == WM_MOUSEMOVE ? "move " : "up ";
            g_log.push_back(what + std::to_string((short)LOWORD(l)) + "," + std::to_string((short)HIWORD(l)));
            if (m == WM_LBUTTONDOWN) SetCapture(h);
            if (m == WM_LBUTTONUP) ReleaseCapture();
            return 0;
        }
        case WM_PAINT:
            g_log.push_back("paint");
            ValidateRect(h, nullptr);
            return 0;
        case WM_USER:
        case WM_COMMAND:
            g_log.push_back((m == WM_USER ? "user " : "command ") + std::to_string(LOWORD(w)));
            return 0;
        case WM_DESTROY:
            PostQuitMessage(3);
            return 0;
        default:
            return DefWindowProc(h, m, w, l);
    }
}

ScriptCommand Call(std::function<void()> fn) {
    ScriptCommand c(ScriptCommand::Call);
    c.call = std::move(fn);
    return c;
}

void Register(const wchar_t* name, WNDPROC proc, HBRUSH background = nullptr) {
    WNDCLASS wc{0, proc, 0, 0, nullptr, nullptr, nullptr, background, nullptr, name};
    RegisterClass(&wc);
}

class LoopTest : public ::testing::Test {
protected:
    void Start(std::vector<ScriptCommand> script) {
        g_log.clear();
        ASSERT_TRUE(platform::Initialize({true, 1, "", dir.path(), dir.path(), std::move(script), nullptr}));
        Register(L"LoopTest", LoggingProc);
        window = CreateWindow(L"LoopTest", L"Loop", WS_VISIBLE, 0, 52, 480, 640, nullptr, nullptr, nullptr, nullptr);
    }
    int Run(HACCEL accel = nullptr) {
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0))
            if (!TranslateAccelerator(window, accel, &msg)) {
                TranslateMessage(&msg);
                DispatchMessage(&msg);
            }
        return (int)msg.wParam;
    }
    void TearDown() override { platform::Shutdown(); }
    static std::vector<std::string> Unpainted() {
        std::vector<std::string> out = g_log;
        std::erase(out, "paint");
        return out;
    }
    testing_support::TempDir dir;
    HWND window = nullptr;
};

TEST_F(LoopTest, TimersFireInOrderOnVirtualTimeAndKillStopsThem) {
    Start({ScriptCommand(ScriptCommand::Wait, 250)});
    SetTimer(window, 1, 100, nullptr);
    SetTimer(window, 7, 30, nullptr);
    SetTimer(window, 2, 100, nullptr);  // due with timer 1: fires after it
    Run();
    EXPECT_EQ((std::vector<std::string>{"timer 7 at 30", "timer 1 at 100", "timer 2 at 100", "timer 1 at 200",
                                        "timer 2 at 200"}),
              Unpainted());
}

TEST_F(LoopTest, RestartingATimerBeginsAFullPeriod) {
    Start({SC(SC::Wait, 60), Call([this] { SetTimer(window, 1, 100, nullptr); }), SC(SC::Wait, 120)});
    SetTimer(window, 1, 100, nullptr);
    Run();
    EXPECT_EQ((std::vector<std::string>{"timer 1 at 160"}), Unpainted());
}

TEST_F(LoopTest, PostedMessagesComeBeforePaintingAndPaintingBeforeTimers) {
    Start({});
    SetTimer(window, 1, 1, nullptr);
    InvalidateRect(window, nullptr, FALSE);
    PostMessage(window, WM_USER, 1, 0);
    PostMessage(window, WM_USER, 2, 0);
    MSG msg;
    // Nothing is due on the clock yet: posted, then paint.
    for (int i = 0; i < 3 && PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE); i++) DispatchMessage(&msg);
    EXPECT_EQ((std::vector<std::string>{"user 1", "user 2", "paint"}), g_log);
}

TEST_F(LoopTest, CaptureKeepsTheStylusWithTheWindowOutsideIt) {
    Start({SC(SC::Press, 100, 152), SC(SC::Move, 600, 900), SC(SC::Release, 600, 900), SC(SC::Move, 120, 160)});
    Run();
    // Client coordinates: the window's client area starts 52 pixels down.
    EXPECT_EQ((std::vector<std::string>{"down 100,100", "move 600,848", "up 600,848"}), Unpainted())
        << "no hover after the stylus is lifted";
}

TEST_F(LoopTest, AModalDialogDisablesItsOwnerAndWmQuitEndsEveryLoop) {
    static const platform::DialogResource dialogs[] = {{5, WS_POPUP, 0, 0, 0, 0, L"Box", nullptr, 0, nullptr, 0}};
    static const platform::ResourceModule module = {nullptr, 0, nullptr, 0, nullptr, 0, dialogs, 1, nullptr, 0};
    bool ownerEnabledDuring = true;
    auto probe = Call([&] { ownerEnabledDuring = IsWindowEnabled(window); });
    // A tap and typing on the owner while the dialog is up reach nobody.
    Start({probe, SC(SC::Tap, 20, 700), SC(SC::Type, 0, 0, L"x")});
    // The owner's text field has the focus when the dialog comes up.
    HWND edit = CreateWindow(L"Edit", L"", WS_CHILD | WS_VISIBLE, 10, 10, 200, 30, window, nullptr, nullptr, nullptr);
    SetFocus(edit);
    platform::RegisterResourceModule(nullptr, &module);
    INT_PTR r = DialogBox(nullptr, MAKEINTRESOURCE(5), window, [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return 0; });
    EXPECT_EQ(-1, r) << "the script ended: no answer";
    EXPECT_FALSE(ownerEnabledDuring);
    EXPECT_TRUE(Unpainted().empty()) << "the disabled owner got no stylus input";
    EXPECT_EQ(0, GetWindowTextLength(edit)) << "nor typing";
    MSG msg;
    EXPECT_FALSE(GetMessage(&msg, nullptr, 0, 0)) << "the outer loop sees the quit too";
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(LoopTest, DestroyingTheWindowPostsItsQuitCode) {
    Start({Call([this] { SendMessage(window, WM_CLOSE, 0, 0); }), SC(SC::State)});
    EXPECT_EQ(3, Run());
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(LoopTest, AcceleratorsTranslateCtrlKeysIntoCommands) {
    static const ACCEL keys[] = {{FVIRTKEY | FNOINVERT | FCONTROL, 'Q', 40000}};
    static const platform::AccelResource accels[] = {{2, keys, 1}};
    static const platform::ResourceModule module = {nullptr, 0, accels, 1, nullptr, 0, nullptr, 0, nullptr, 0};
    Start({SC(SC::Key, 0, 0, L"q"), SC(SC::Key, 0, 0, L"ctrl+q")});
    platform::RegisterResourceModule(nullptr, &module);
    Run(LoadAccelerators(nullptr, MAKEINTRESOURCE(2)));
    EXPECT_EQ((std::vector<std::string>{"command 40000"}), Unpainted()) << "plain q is no accelerator, ctrl+q is";
}

TEST_F(LoopTest, APopUpThatPaintsNothingShowsTheWindowsBehindIt) {
    uint32_t under = 0;
    // Shown only once the red window has painted.
    auto popUp = Call([] {
        Register(L"Empty", DefWindowProc);
        CreateWindow(L"Empty", L"", WS_POPUP | WS_VISIBLE, 100, 200, 50, 50, nullptr, nullptr, nullptr, nullptr);
    });
    Start({popUp, Call([&] { under = platform::ScreenPixel(120, 220); })});
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    Register(L"Red", DefWindowProc, red);  // erased red, painted by nobody
    CreateWindow(L"Red", L"Red", WS_VISIBLE, 0, 52, 480, 640, nullptr, nullptr, nullptr, nullptr);
    Run();
    EXPECT_EQ(0xFF0000u, under);
    DeleteObject(red);
}

TEST(Script, LinesAreParsedAndMistakesNamed) {
    std::vector<ScriptCommand> out;
    std::string error;
    ASSERT_TRUE(
        platform::ParseScript("# tour\ntap 10 20\nwait 200  # settle\nkey ctrl+q\nscreenshot a b.png\n", out, error));
    ASSERT_EQ(4u, out.size());
    EXPECT_EQ(ScriptCommand::Tap, out[0].kind);
    EXPECT_EQ(20, out[0].y);
    EXPECT_EQ(200, out[1].x);
    EXPECT_EQ(L"ctrl+q", out[2].text);
    EXPECT_EQ("a b.png", out[3].path);
    // A missing number, an unknown command, a negative wait: each names its line.
    for (auto [text, where] :
         {std::pair{"tap 10\n", "line 1"}, {"state\nfly 1 2\n", "line 2"}, {"wait -5\n", "line 1"}}) {
        EXPECT_FALSE(platform::ParseScript(text, out, error)) << text;
        EXPECT_NE(std::string::npos, error.find(where)) << text;
    }
}

using Kernel = LoopTest;

TEST_F(Kernel, ANamedMutexIsHeldOncePerMachineAndFreedOnClose) {
    Start({});
    HANDLE first = CreateMutex(nullptr, TRUE, L"Lumetra");
    EXPECT_NE(ERROR_ALREADY_EXISTS, GetLastError());
    HANDLE second = CreateMutex(nullptr, TRUE, L"Lumetra");
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    CloseHandle(second);
    CloseHandle(first);
    HANDLE third = CreateMutex(nullptr, TRUE, L"Lumetra");
    EXPECT_NE(ERROR_ALREADY_EXISTS, GetLastError()) << "closing releases the name";
    CloseHandle(third);
}

using Registry = LoopTest;

TEST_F(Registry, StringsAndNumbersSurviveAndMissingValuesFail) {
    Start({});
    const HKEY user = HKEY_CURRENT_USER;
    const wchar_t *key = L"Software\\Korvex\\Filora\\Dirsela", *name = L"Folder_Path_0";
    const wchar_t* other = L"Software\\Korvex\\ZelFramework";
    wchar_t buf[260];
    EXPECT_TRUE(FAILED(SHRegQueryString(user, key, name, buf, 260)));
    ASSERT_EQ(S_OK, SHRegSetString(user, key, name, L"/home/me/Fotos \u00e9t\u00e9"));
    ASSERT_EQ(S_OK, SHRegSetDWORD(user, other, L"CaptureDump", 1));
    ASSERT_EQ(S_OK, SHRegSetString(user, key, name, L"/home/me/Later"));
    ASSERT_EQ(S_OK, SHRegQueryString(user, key, name, buf, 260));
    EXPECT_STREQ(L"/home/me/Later", buf) << "a value written again replaces the old one";
    DWORD dump = 0;
    ASSERT_EQ(S_OK, SHRegQueryDWORD(user, other, L"CaptureDump", &dump));
    EXPECT_EQ(1u, dump);
    EXPECT_TRUE(FAILED(SHRegQueryDWORD(user, key, name, &dump))) << "a string is no DWORD";
    std::wstring folder = L"/home/me/" + std::wstring(1500, L'\u00e9');  // 3000 bytes of UTF-8
    ASSERT_EQ(S_OK, SHRegSetString(user, L"Software\\Long", L"Folder", folder.c_str()));
    std::vector<wchar_t> back(2000);
    ASSERT_EQ(S_OK, SHRegQueryString(user, L"Software\\Long", L"Folder", back.data(), 2000));
    EXPECT_EQ(folder, std::wstring(back.data())) << "long values are kept whole";
    for (int size : {1, 5}) {  // a short buffer is filled and terminated, and nothing is written past it
        wchar_t part[6] = {L'y', L'y', L'y', L'y', L'y', L'y'};
        ASSERT_EQ(S_OK, SHRegQueryString(user, key, name, part, size));
        EXPECT_EQ(std::wstring(L"/home/me/Later", size - 1), part) << size;
        EXPECT_EQ(L'y', part[size]) << size;
    }
}

TEST(Text, FileNamesRoundTripThroughTheSystemCodePage) {
    const wchar_t* name = L"caf\u00e9 \u65e5\u672c \U0001F600.jpg";
    char narrow[64];
    ASSERT_TRUE(WidePathToNative(name, narrow, sizeof narrow));
    wchar_t back[64];
    MultiByteToWideChar(CP_ACP, 0, narrow, -1, back, 64);
    EXPECT_STREQ(name, back);
    char tiny[6];
    EXPECT_FALSE(WidePathToNative(name, tiny, sizeof tiny)) << "a path that does not fit is refused, not cut";
    // A character that does not fit whole is left out rather than split.
    char cut[5] = {1, 1, 1, 1, 1};
    int n = WideCharToMultiByte(CP_ACP, 0, L"ab\u65e5", 3, cut, 4, nullptr, nullptr);
    EXPECT_EQ(2, n);
}

}  // namespace

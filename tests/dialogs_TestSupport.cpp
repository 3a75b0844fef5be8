#include "dialogs_TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>

#include "platform/resources.h"
#include "resources/resource_ids.h"
#include "support/TestFiles.h"

namespace dialogs_test {

namespace {

using platform::ScriptCommand;

const platform::MenuItemResource kSaveAsKeys[] = {{CMD_SAVEAS_DONE, L"Done"}, {CMD_SAVEAS_CANCEL, L"Cancel"}};
const platform::MenuResource kMenus[] = {{IDM_SAVEAS_SOFTKEYS, kSaveAsKeys, 2}};
const platform::DialogControlResource kSaveAsControls[] = {
    {L"Edit", L"", IDC_SAVEAS_EDIT, WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 20, 145, 445, 55},
};
const platform::DialogResource kDialogs[] = {
    {IDD_SAVEAS, WS_POPUP | WS_CAPTION, 0, 0, 0, 0, L"Save As", L"MS Shell Dlg", 8, kSaveAsControls, 1},
    {IDD_MESSAGE_PANEL, WS_POPUP, 0, 0, 0, 0, L"", L"MS Shell Dlg", 8, nullptr, 0},
    {IDD_SAVE_POPUP, WS_POPUP, 0, 0, 0, 0, L"", L"MS Shell Dlg", 8, nullptr, 0},
};

// The art as tools/draw_resources left it: "154_saveas_editframe.bmp" is bitmap
// 154, "188_popup_bottom.png" is IMAGE 188.
struct Art {
    std::deque<std::vector<unsigned char>> files;  // stays put as it grows: the table points into it
    std::vector<platform::BinaryResource> table;
};

const Art& LoadArt() {
    static const Art art = [] {
        Art a;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::string(LUMETRA_SOURCE_DIR) + "/resources/art")) {
            const int id = atoi(entry.path().filename().c_str());
            const std::string ext = entry.path().extension().string();
            if (id <= 0 || (ext != ".bmp" && ext != ".png")) continue;
            a.files.push_back(testing_support::ReadBytes(entry.path().string()));
            const wchar_t* type = ext == ".bmp" ? RT_BITMAP : id == IDI_APP ? RT_ICON : L"IMAGE";
            a.table.push_back({type, id, a.files.back().data(), a.files.back().size()});
        }
        return a;
    }();
    return art;
}

platform::ResourceModule g_module;

LRESULT OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND || msg == 1529) {
        auto* log = reinterpret_cast<std::vector<OwnerMessage>*>(GetWindowLong(hwnd, GWL_USERDATA));
        if (log) log->push_back({msg, msg == WM_COMMAND ? (int)LOWORD(wParam) : 0});
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

HINSTANCE UseResources(bool withArt) {
    const Art& art = LoadArt();
    EXPECT_FALSE(art.table.empty()) << "no art in the source tree";
    const int n = withArt ? (int)art.table.size() : 0;
    g_module = {nullptr, 0, nullptr, 0, kMenus, 1, kDialogs, 3, n ? art.table.data() : nullptr, n};
    auto instance = reinterpret_cast<HINSTANCE>(&g_module);
    platform::RegisterResourceModule(instance, &g_module);
    return instance;
}

void Start(std::vector<ScriptCommand> script) {
    platform::Options o;
    o.headless = true;
    o.script = std::move(script);
    o.echo = [](std::string&) {};
    ASSERT_TRUE(platform::Initialize(o));
}

void RunLoop() {
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
}

ScriptCommand Tap(POINT p) {
    return ScriptCommand(ScriptCommand::Tap, p.x, p.y);
}
ScriptCommand Press(POINT p) {
    return ScriptCommand(ScriptCommand::Press, p.x, p.y);
}
ScriptCommand Move(POINT p) {
    return ScriptCommand(ScriptCommand::Move, p.x, p.y);
}
ScriptCommand Release(POINT p) {
    return ScriptCommand(ScriptCommand::Release, p.x, p.y);
}
ScriptCommand Key(const wchar_t* name) {
    return ScriptCommand(ScriptCommand::Key, 0, 0, name);
}
ScriptCommand Type(const std::wstring& text) {
    return ScriptCommand(ScriptCommand::Type, 0, 0, text);
}
ScriptCommand Call(std::function<void()> fn) {
    ScriptCommand c(ScriptCommand::Call);
    c.call = std::move(fn);
    return c;
}

HWND MakeOwner(std::vector<OwnerMessage>* log) {
    WNDCLASS wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.hbrBackground = GetStockObject(GRAY_BRUSH);
    wc.lpszClassName = L"DialogTestOwner";
    RegisterClass(&wc);  // once per platform start; a second registration is refused
    HWND owner = CreateWindow(L"DialogTestOwner", L"Owner", WS_VISIBLE, 0, platform::kTaskBarHeight,
                              platform::kScreenWidth, 640, nullptr, nullptr, nullptr, nullptr);
    SetWindowLong(owner, GWL_USERDATA, reinterpret_cast<intptr_t>(log));
    UpdateWindow(owner);  // drawn, as a program's window is before it opens anything over itself
    return owner;
}

}  // namespace dialogs_test

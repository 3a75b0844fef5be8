// The toolkit's diagnostics: the exact texts, one text at a time, the module
// name read once, the system's error texts with the memory figure, run-time
// function lookup, the echo to standard error and the stack reports the
// registry's dump switch asks for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

#include "ZoomControls/Diagnostics.h"
#include "ZoomControls_TestImages.h"
#include "platform/Platform.h"
#include "support/TestFiles.h"

using namespace zoom_test;

namespace {

std::string Text() {
    return Narrow(DiagnosticText());
}

// What `f` sends to standard error with LUMETRA_DIAG set to `diag`.
template <class F>
std::string Echoed(const char* diag, F f) {
    EnvVar var("LUMETRA_DIAG", diag);
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

constexpr char kSrc[] = ".\\ZoomControls\\ImageUtil";

}  // namespace

// The pointer-check, child-lookup and resource texts are checked exactly where
// the image and control tests meet them.
TEST(Diagnostics, TextsAreExactReplaceThePreviousOneAndAreCutAtTheBuffersEnd) {
    LogCHR("hr", kSrc, 74, 7);
    EXPECT_EQ("Error CHR(hr):.\\ZoomControls\\ImageUtil line 74, hr = 7\n", Text());
    LogReleaseObj("pBitmap", kSrc, 486);
    EXPECT_EQ("Error RELEASE_OBJ(pBitmap):.\\ZoomControls\\ImageUtil line 486\n", Text());
    // Each text replaces the previous one whole.
    LogChildLookup("pControl", "this", 12345, ".\\ZoomControls\\ZelControl", 296);
    LogResourceId(5);
    EXPECT_EQ("ResourceID(5): ", Text()) << "nothing of the longer text remains";

    std::string longName(3000, 'p');
    LogCPR(longName.c_str(), kSrc, 1);
    std::string text = Text();
    EXPECT_EQ((size_t)kDiagnosticChars - 1, text.size());
    EXPECT_EQ(0u, text.find("Error CPR(ppp"));
    EXPECT_EQ(std::wstring::npos, std::wstring(DiagnosticText()).find(L"line")) << "cut at the buffer's end";
}

TEST(Diagnostics, TheModuleNameIsTheExecutablesFileNameReadOnce) {
    LogResourceId(1);
    ASSERT_EQ(std::filesystem::read_symlink("/proc/self/exe").filename().string(), Narrow(DiagnosticModuleName()));

    // A later diagnostic does not read the name again.
    wchar_t* name = const_cast<wchar_t*>(DiagnosticModuleName());
    std::wstring saved = name;
    wcscpy(name, L"renamed");
    LogCPR("p", "source", 2);
    EXPECT_EQ("renamed", Narrow(DiagnosticModuleName()));
    wcscpy(name, saved.c_str());
}

TEST(Diagnostics, TextsReachStandardErrorOnlyWhenAskedFor) {
    EXPECT_EQ("", Echoed(nullptr, [] { LogCPR("hWnd", kSrc, 2125); }));
    EXPECT_EQ("Error CPR(hWnd):.\\ZoomControls\\ImageUtil line 2125\nResourceID(176): ", Echoed("1", [] {
                  LogCPR("hWnd", kSrc, 2125);
                  LogResourceId(176);
              }));
}

TEST(ReportError, WritesTheSystemTextThenTheCodeAndMemoryFigure) {
    std::string text = Echoed("1", [] { ReportError(E_FAIL); });
    const std::string head = "Unspecified error.\nERROR:-2147467259 CurrentMemUsage:";
    ASSERT_EQ(0u, text.find(head)) << text;
    EXPECT_GT(strtol(text.c_str() + head.size(), nullptr, 10), 0);
    EXPECT_EQ('\n', text.back());
    EXPECT_EQ(0u, Text().find("ERROR:-2147467259 CurrentMemUsage:")) << "the buffer keeps the last line";
    // An HRESULT wrapping a system code reads as that code.
    const std::pair<HRESULT, const char*> cases[] = {
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\nERROR:2 "},
        {E_INVALIDARG, "The parameter is incorrect.\nERROR:-2147024809 "},
        {(HRESULT)0x8123ABCD, "Unknown error 0x8123ABCD.\nERROR:-2128368691 "},
        {28, "No space left on device\nERROR:28 "}};
    for (const auto& c : cases) EXPECT_EQ(0u, Echoed("1", [&c] { ReportError(c.first); }).find(c.second)) << c.second;
}

TEST(GetProcessMemoryUsage, FollowsTheResidentMemory) {
    int before = GetProcessMemoryUsage();
    EXPECT_GT(before, 0);
    std::vector<char> block((size_t)64 << 20, 1);  // every page written
    volatile char touched = block[block.size() / 2];
    (void)touched;
    EXPECT_GE(GetProcessMemoryUsage(), before + (48 << 20));
}

TEST(GetModuleProc, ResolvesThroughTheCachedLibrary) {
    HMODULE cache = nullptr;
    auto length = reinterpret_cast<size_t (*)(const char*)>(GetModuleProc(L"strlen", &cache, L"libc.so.6"));
    ASSERT_NE(nullptr, length);
    EXPECT_EQ(5u, length("hello"));
    ASSERT_NE(nullptr, cache);
    HMODULE loaded = cache;
    EXPECT_NE(nullptr, GetModuleProc(L"abs", &cache, L"libno-such-library.so.9")) << "a held library is used as is";
    EXPECT_EQ(loaded, cache);

    EXPECT_EQ(nullptr, GetModuleProc(L"NoSuchFunctionAnywhere", &cache, L"libc.so.6"));
    EXPECT_EQ(nullptr, cache) << "a missing function frees the library";

    HMODULE none = nullptr;
    EXPECT_EQ(nullptr, GetModuleProc(L"strlen", &none, L"libno-such-library.so.9"));
    EXPECT_EQ(nullptr, none);
}

// The dump switch in the registry of a private configuration folder; reports
// go to a private cache folder.
class CaptureDump : public testing::Test {
protected:
    void SetUp() override {
        platform::Options o;
        o.headless = true;
        o.configDir = dir_.File("config");
        o.storageRoot = dir_.path();
        ASSERT_TRUE(platform::Initialize(o));
    }
    void TearDown() override { platform::Shutdown(); }

    void SetSwitch(DWORD value) {
        ASSERT_EQ(S_OK, SHRegSetDWORD(HKEY_CURRENT_USER, L"Software\\Korvex\\ZelFramework", L"CaptureDump", value));
    }
    std::vector<std::filesystem::path> Reports(const char* folder = "cache/lumetra") {
        std::vector<std::filesystem::path> out;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.File(folder), ec))
            out.push_back(entry.path());
        return out;
    }

    testing_support::TempDir dir_;
    EnvVar cache_{"XDG_CACHE_HOME", dir_.File("cache").c_str()};
};

TEST_F(CaptureDump, WritesAStackReportForPointerChecksOnlyWhenSwitchedOn) {
    LogCPR("hRsrc", kSrc, 168);
    SetSwitch(0);
    LogCPR("hRsrc", kSrc, 168);
    EXPECT_TRUE(Reports().empty()) << "switch absent or zero";
    SetSwitch(1);
    LogCHR("hr", kSrc, 463, E_FAIL);
    LogReleaseObj("pImg", kSrc, 582);
    EXPECT_TRUE(Reports().empty()) << "only pointer checks capture";
    LogCPR("hRsrc", kSrc, 168);
    auto reports = Reports();
    ASSERT_EQ(1u, reports.size());
    std::string name = reports[0].filename().string();
    EXPECT_EQ(0u, name.find(Narrow(DiagnosticModuleName()) + ".")) << name;
    EXPECT_EQ(".stack", reports[0].extension().string());
    std::string report = testing_support::ReadText(reports[0].string());
    EXPECT_NE(std::string::npos, report.find("Error CPR(hRsrc):.\\ZoomControls\\ImageUtil line 168\n")) << report;
    EXPECT_NE(std::string::npos, report.find("[0x")) << "the report lists stack frames:\n" << report;

    LogCPR("hInst", kSrc, 164);
    EXPECT_EQ(2u, Reports().size()) << "each capture gets its own file";
}

TEST_F(CaptureDump, FallsBackToTheHomeCacheFolder) {
    SetSwitch(1);
    EnvVar noXdg("XDG_CACHE_HOME", nullptr);
    EnvVar home("HOME", dir_.File("home").c_str());
    LogCPR("hWnd", kSrc, 2125);
    EXPECT_EQ(1u, Reports("home/.cache/lumetra").size());
}

// The toolkit's diagnostic buffer and the reports that go with it: system error
// texts with the memory figure, the process's resident memory, and stack
// reports written into the user's cache folder when the registry asks for them.
#include "ZoomControls/Diagnostics.h"

#include <unistd.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <string>

namespace {

wchar_t s_diagText[kDiagnosticChars];
wchar_t s_moduleName[kModuleNameChars];

// The executable's file name without its folder, read once: a name that was
// read is never rewritten.
void FillModuleName() {
    if (s_moduleName[0]) return;
    if (GetModuleFileName(nullptr, s_moduleName, kModuleNameChars) == 0) {
        s_moduleName[0] = 0;
        return;
    }
    s_moduleName[kModuleNameChars - 1] = 0;
    if (const wchar_t* slash = wcsrchr(s_moduleName, L'/')) wmemmove(s_moduleName, slash + 1, wcslen(slash + 1) + 1);
}

std::string ToUtf8(const wchar_t* text) {
    char out[kDiagnosticChars * 4];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, (int)wcsnlen(text, kDiagnosticChars), out, (int)sizeof out - 1,
                                nullptr, nullptr);
    out[n > 0 ? n : 0] = 0;
    return out;
}

// Formats into the diagnostic buffer, replacing what was there. The texts are
// formatted narrow (every argument is narrow) and widened, so the formats read
// exactly as the toolkit's diagnostics are defined.
void WriteDiagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));
void WriteDiagnostic(const char* format, ...) {
    FillModuleName();
    char text[kDiagnosticChars];
    va_list args;
    va_start(args, format);
    int len = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (len < 0) len = 0;
    if (len > (int)sizeof text - 1) len = (int)sizeof text - 1;
    int n = len ? MultiByteToWideChar(CP_UTF8, 0, text, len, s_diagText, kDiagnosticChars - 1) : 0;
    s_diagText[n > 0 ? n : 0] = 0;
    if (getenv("LUMETRA_DIAG")) fputs(text, stderr);
}

std::string CacheFolder() {
    const char* xdg = getenv("XDG_CACHE_HOME");
    if (xdg && *xdg) return std::string(xdg) + "/lumetra";
    const char* home = getenv("HOME");
    if (home && *home) return std::string(home) + "/.cache/lumetra";
    return {};
}

// The stack functions of the C library are looked up when a report is written,
// so a C library without them still gets a report, only without frames.
using BacktraceFn = int (*)(void** frames, int size);
using BacktraceSymbolsFdFn = void (*)(void* const* frames, int size, int fd);

void WriteStackReport(FILE* out) {
    HMODULE libc = nullptr;
    auto backtrace = reinterpret_cast<BacktraceFn>(GetModuleProc(L"backtrace", &libc, L"libc.so.6"));
    auto symbols =
        backtrace ? reinterpret_cast<BacktraceSymbolsFdFn>(GetModuleProc(L"backtrace_symbols_fd", &libc, L"libc.so.6"))
                  : nullptr;
    if (backtrace && symbols) {
        void* frames[64];
        int count = backtrace(frames, 64);
        fflush(out);
        symbols(frames, count, fileno(out));
    } else {
        fputs("(no stack frames: the C library does not provide them)\n", out);
    }
    if (libc) FreeLibrary(libc);
}

}  // namespace

void LogCHR(const char* expression, const char* source, int line, HRESULT hr) {
    WriteDiagnostic("Error CHR(%s):%s line %d, %s = %d\n", expression, source, line, expression, (int)hr);
}

void LogCPR(const char* expression, const char* source, int line) {
    WriteDiagnostic("Error CPR(%s):%s line %d\n", expression, source, line);
    CaptureDumpIfEnabled();
}

void LogReleaseObj(const char* expression, const char* source, int line) {
    WriteDiagnostic("Error RELEASE_OBJ(%s):%s line %d\n", expression, source, line);
}

void LogChildLookup(const char* variable, const char* owner, int index, const char* source, int line) {
    WriteDiagnostic("Error %s = %s->GetChildControl(%d) : %s, line %d\n", variable, owner, index, source, line);
}

void LogResourceId(int id) {
    WriteDiagnostic("ResourceID(%d): ", id);
}

void ReportError(HRESULT code) {
    LPWSTR system = nullptr;
    FormatMessage(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                  (DWORD)code, 0, reinterpret_cast<LPWSTR>(&system), 0, nullptr);
    WriteDiagnostic("%s", system ? ToUtf8(system).c_str() : "");
    WriteDiagnostic("ERROR:%d CurrentMemUsage:%d\n", (int)code, GetProcessMemoryUsage());
    if (system) LocalFree(system);
}

void CaptureDumpIfEnabled() {
    DWORD enabled = 0;
    if (FAILED(SHRegQueryDWORD(HKEY_CURRENT_USER, L"Software\\Korvex\\ZelFramework", L"CaptureDump", &enabled)) ||
        enabled == 0)
        return;
    std::string folder = CacheFolder();
    if (folder.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return;

    static int s_reports = 0;
    std::string module = s_moduleName[0] ? ToUtf8(s_moduleName) : std::string("lumetra");
    std::string path =
        folder + "/" + module + "." + std::to_string(getpid()) + "." + std::to_string(++s_reports) + ".stack";
    FILE* out = fopen(path.c_str(), "w");
    if (!out) return;
    fprintf(out, "%s (process %d)\n%s", module.c_str(), (int)getpid(), ToUtf8(s_diagText).c_str());
    WriteStackReport(out);
    fclose(out);
}

// The second field of /proc/self/statm is the resident set in pages.
int GetProcessMemoryUsage() {
    FILE* statm = fopen("/proc/self/statm", "r");
    if (!statm) return 0;
    unsigned long long size = 0, resident = 0;
    int fields = fscanf(statm, "%llu %llu", &size, &resident);
    fclose(statm);
    if (fields != 2) return 0;
    long page = sysconf(_SC_PAGESIZE);
    unsigned long long bytes = resident * (unsigned long long)(page > 0 ? page : 4096);
    return bytes > (unsigned long long)INT_MAX ? INT_MAX : (int)bytes;
}

FARPROC GetModuleProc(LPCWSTR name, HMODULE* cache, LPCWSTR library) {
    if (!cache) return nullptr;
    if (!*cache) {
        *cache = LoadLibrary(library);
        if (!*cache) return nullptr;
    }
    FARPROC proc = GetProcAddress(*cache, name);
    if (!proc) {
        FreeLibrary(*cache);
        *cache = nullptr;
    }
    return proc;
}

const wchar_t* DiagnosticText() {
    return s_diagText;
}

const wchar_t* DiagnosticModuleName() {
    return s_moduleName;
}

// Kernel and registry pieces: the last-error value and the system's texts for
// error codes, named mutexes that are seen by other processes (a lock file
// each), shared libraries and the executable's path, the registry of the
// current user (a text file in the user's configuration folder), and the window
// files through which a second start finds the running instance and asks it to
// come forward.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/WindowManager.h"

namespace platform {

namespace {

DWORD g_lastError = 0;
volatile sig_atomic_t g_raiseRequested = 0;

struct MutexHandle {
    uint32_t magic = 0x4D555458;  // "MUTX"
    int fd = -1;
};

// File-name-safe form of a name.
std::string SafeName(const std::wstring& name) {
    std::string out;
    for (char c : Narrow(name)) out += (isalnum((unsigned char)c) || c == '-' || c == '_') ? c : '_';
    return out;
}

// Headless runs always have one set (a private folder unless --runtime names
// one); only the real window falls back to the user's shared folder.
std::string RuntimeDir() {
    std::string dir = CurrentOptions().runtimeDir;
    if (dir.empty()) {
        const char* env = getenv("XDG_RUNTIME_DIR");
        dir = env && *env ? std::string(env) + "/lumetra" : "/tmp/lumetra-" + std::to_string(getuid());
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

std::string RegistryPath() {
    std::string dir = CurrentOptions().configDir;
    if (dir.empty()) {
        const char* xdg = getenv("XDG_CONFIG_HOME");
        const char* home = getenv("HOME");
        dir = xdg && *xdg ? std::string(xdg) + "/lumetra" : std::string(home ? home : ".") + "/.config/lumetra";
    }
    return dir + "/registry";
}

std::string WindowFile(LPCWSTR className, LPCWSTR title) {
    return RuntimeDir() + "/window-" + SafeName(className ? className : L"") + "-" + SafeName(title ? title : L"");
}

void OnRaiseSignal(int) {
    g_raiseRequested = 1;
}

constexpr uintptr_t kProxyTag = (uintptr_t)1 << 62;

// Registry lines: key <TAB> value name <TAB> "sz" or "dword" <TAB> data.
bool ReadRegistry(LPCWSTR key, LPCWSTR valueName, std::string& type, std::string& data) {
    std::ifstream in(RegistryPath());
    if (!in) return false;
    std::string k = Narrow(key), v = Narrow(valueName), line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string fk, fv, ft, fd;
        if (!std::getline(fields, fk, '\t') || !std::getline(fields, fv, '\t') || !std::getline(fields, ft, '\t'))
            continue;
        std::getline(fields, fd);
        if (strcasecmp(fk.c_str(), k.c_str()) == 0 && strcasecmp(fv.c_str(), v.c_str()) == 0) {
            type = ft;
            data = fd;
            return true;
        }
    }
    return false;
}

bool WriteRegistry(LPCWSTR key, LPCWSTR valueName, const std::string& type, const std::string& data) {
    std::string path = RegistryPath();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::string k = Narrow(key), v = Narrow(valueName), line, out;
    {
        std::ifstream in(path);
        while (in && std::getline(in, line)) {
            std::istringstream fields(line);
            std::string fk, fv;
            std::getline(fields, fk, '\t');
            std::getline(fields, fv, '\t');
            if (strcasecmp(fk.c_str(), k.c_str()) == 0 && strcasecmp(fv.c_str(), v.c_str()) == 0) continue;
            out += line + "\n";
        }
    }
    out += k + "\t" + v + "\t" + type + "\t" + data + "\n";
    // Written aside and renamed, so a crash never leaves half a registry.
    std::string tmp = path + ".new";
    {
        std::ofstream o(tmp, std::ios::trunc);
        if (!o) return false;
        o << out;
        if (!o) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

HWND FindWindowOfOtherInstance(LPCWSTR className, LPCWSTR title) {
    std::ifstream in(WindowFile(className, title));
    long pid = 0;
    if (!(in >> pid) || pid <= 0 || pid == (long)getpid() || kill((pid_t)pid, 0) != 0) return nullptr;
    // A window file left by a program that ended abnormally may name a process
    // id now used by another program: only our own executable counts.
    std::error_code ec1, ec2;
    auto theirs = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec1);
    auto ours = std::filesystem::read_symlink("/proc/self/exe", ec2);
    if (ec1 || ec2 || theirs != ours) return nullptr;
    return (HWND)(kProxyTag | ((uintptr_t)pid << 4));
}

bool RaiseOtherInstance(HWND proxy) {
    uintptr_t v = (uintptr_t)proxy;
    if (!(v & kProxyTag)) return false;
    pid_t pid = (pid_t)((v & ~kProxyTag) >> 4);
    if (kill(pid, SIGUSR1) != 0) return false;
    // Only a start that gives way to a running instance gets here; it ends with
    // status 0, and without a word a script run this way would seem to have passed.
    fputs("lumetra: already running; its window was brought to the front\n", stderr);
    return true;
}

void PublishWindow(Window* w, bool present) {
    std::string path = WindowFile(w->className.c_str(), w->text.c_str());
    if (present) {
        struct sigaction sa {};
        sa.sa_handler = OnRaiseSignal;
        sigaction(SIGUSR1, &sa, nullptr);
        std::ofstream(path, std::ios::trunc) << getpid() << "\n";
    } else {
        std::ifstream in(path);
        long pid = 0;
        if (in >> pid && pid == (long)getpid()) std::remove(path.c_str());
    }
}

bool TakeRaiseRequest() {
    if (!g_raiseRequested) return false;
    g_raiseRequested = 0;
    return true;
}

}  // namespace platform

using namespace platform;

DWORD GetLastError() {
    return g_lastError;
}
void SetLastError(DWORD err) {
    g_lastError = err;
}

HANDLE CreateMutex(void*, BOOL, LPCWSTR name) {
    auto* m = new MutexHandle;
    SetLastError(ERROR_SUCCESS);
    if (name && *name) {
        const std::string lockPath = RuntimeDir() + "/mutex-" + SafeName(name) + ".lock";
        m->fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m->fd >= 0 && flock(m->fd, LOCK_EX | LOCK_NB) != 0) {
            close(m->fd);
            m->fd = -1;
            SetLastError(ERROR_ALREADY_EXISTS);
        }
    }
    return m;
}

// One thread uses the program's mutexes, so waiting always succeeds at once.
DWORD WaitForSingleObject(HANDLE h, DWORD) {
    return h ? WAIT_OBJECT_0 : WAIT_FAILED;
}
BOOL ReleaseMutex(HANDLE h) {
    return h != nullptr;
}

BOOL CloseHandle(HANDLE h) {
    auto* m = static_cast<MutexHandle*>(h);
    if (!m || m->magic != 0x4D555458) return FALSE;
    if (m->fd >= 0) close(m->fd);  // closing the descriptor releases the lock
    m->magic = 0;
    delete m;
    return TRUE;
}

HRESULT SHRegQueryString(HKEY, LPCWSTR key, LPCWSTR valueName, LPWSTR buf, DWORD bufChars) {
    if (!buf || bufChars == 0) return E_INVALIDARG;
    std::string type, data;
    if (!ReadRegistry(key, valueName, type, data) || type != "sz") return E_FAIL;
    // A destination length of 0 would only count, so a one-character buffer
    // gets the terminator alone.
    int n = bufChars > 1 ? MultiByteToWideChar(CP_ACP, 0, data.c_str(), (int)data.size(), buf, (int)bufChars - 1) : 0;
    buf[n] = 0;
    return S_OK;
}

HRESULT SHRegQueryDWORD(HKEY, LPCWSTR key, LPCWSTR valueName, DWORD* value) {
    std::string type, data;
    if (!value || !ReadRegistry(key, valueName, type, data) || type != "dword") return E_FAIL;
    *value = (DWORD)strtoul(data.c_str(), nullptr, 0);
    return S_OK;
}

HRESULT SHRegSetString(HKEY, LPCWSTR key, LPCWSTR valueName, LPCWSTR value) {
    std::string text = Narrow(value ? value : L"");
    for (char& c : text)
        if (c == '\n' || c == '\t') c = ' ';
    return WriteRegistry(key, valueName, "sz", text) ? S_OK : E_FAIL;
}

HRESULT SHRegSetDWORD(HKEY, LPCWSTR key, LPCWSTR valueName, DWORD value) {
    return WriteRegistry(key, valueName, "dword", std::to_string(value)) ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------------------
// Shared libraries and the executable's path

HMODULE LoadLibrary(LPCWSTR name) {
    void* handle = name && *name ? dlopen(Narrow(name).c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (!handle) SetLastError(ERROR_MOD_NOT_FOUND);
    return static_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE module, LPCWSTR procName) {
    void* symbol = module && procName ? dlsym(module, Narrow(procName).c_str()) : nullptr;
    if (!symbol) SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
    return module && dlclose(module) == 0;
}

// Copies as much of the path as fits, always terminated; a path cut short
// returns `size` with ERROR_INSUFFICIENT_BUFFER, as the handset does.
DWORD GetModuleFileName(HMODULE module, LPWSTR buf, DWORD size) {
    if (module || !buf || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::error_code ec;
    std::wstring path = Widen(std::filesystem::read_symlink("/proc/self/exe", ec).string());
    if (ec || path.empty()) {
        buf[0] = 0;
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    size_t n = std::min<size_t>(path.size(), size - 1);
    wmemcpy(buf, path.data(), n);
    buf[n] = 0;
    if (n < path.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    return (DWORD)n;
}

// ---------------------------------------------------------------------------
// System message texts

namespace {

// The codes this platform sets as last errors and the HRESULTs it returns
// have texts of their own; other codes are read as C library error numbers.
std::string SystemMessageText(DWORD code) {
    // An HRESULT of facility 7 wraps a system error code.
    if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;
    switch (code) {
        case ERROR_SUCCESS:
            return "The operation completed successfully.";
        case ERROR_FILE_NOT_FOUND:
            return "The system cannot find the file specified.";
        case ERROR_OUTOFMEMORY:
            return "Not enough memory is available to complete this operation.";
        case ERROR_INVALID_PARAMETER:
            return "The parameter is incorrect.";
        case ERROR_INSUFFICIENT_BUFFER:
            return "The buffer passed is too small.";
        case ERROR_MOD_NOT_FOUND:
            return "The specified module could not be found.";
        case ERROR_PROC_NOT_FOUND:
            return "The specified procedure could not be found.";
        case ERROR_ALREADY_EXISTS:
            return "The object already exists.";
        case 1407:
            return "The window class cannot be found.";
        case 1410:
            return "The window class already exists.";
        case (DWORD)E_FAIL:
            return "Unspecified error.";
        case (DWORD)E_NOINTERFACE:
            return "No such interface supported.";
        case (DWORD)E_POINTER:
            return "Invalid pointer.";
    }
    if (code & 0x80000000u) {
        char text[48];
        snprintf(text, sizeof text, "Unknown error 0x%08X.", (unsigned)code);
        return text;
    }
    return strerror((int)code);
}

}  // namespace

DWORD FormatMessage(DWORD flags, const void*, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, void*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::wstring text = Widen(SystemMessageText(messageId) + "\n");
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        size_t chars = std::max<size_t>(text.size() + 1, size);
        auto* out = static_cast<LPWSTR>(calloc(chars, sizeof(WCHAR)));
        *reinterpret_cast<LPWSTR*>(buffer) = out;
        if (!out) {
            SetLastError(ERROR_OUTOFMEMORY);
            return 0;
        }
        wmemcpy(out, text.data(), text.size());
        return (DWORD)text.size();
    }
    if (text.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    wmemcpy(buffer, text.c_str(), text.size() + 1);
    return (DWORD)text.size();
}

HLOCAL LocalFree(HLOCAL mem) {
    free(mem);
    return nullptr;
}

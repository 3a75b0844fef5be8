// The control toolkit's diagnostics: failed checks are formatted into one
// module-wide text buffer (each diagnostic replaces the previous one), naming
// the failing expression, the source path and the line. Nothing is shown to the
// user; with the environment variable LUMETRA_DIAG set, every text is copied to
// standard error as well. A failed pointer check also writes a stack report
// into the user's cache folder when the registry's dump switch is on.
#pragma once

#include "platform/win32.h"

constexpr int kDiagnosticChars = 1024;  // the diagnostic buffer, terminator included
constexpr int kModuleNameChars = 512;   // the module name buffer, terminator included

// "Error CHR(%s):%s line %d, %s = %d\n": an HRESULT check that failed.
void LogCHR(const char* expression, const char* source, int line, HRESULT hr);
// "Error CPR(%s):%s line %d\n": a pointer that was null; then CaptureDumpIfEnabled.
void LogCPR(const char* expression, const char* source, int line);
// "Error RELEASE_OBJ(%s):%s line %d\n": releasing an object reported a failure.
void LogReleaseObj(const char* expression, const char* source, int line);
// "Error %s = %s->GetChildControl(%d) : %s, line %d\n": a child list gave a null child.
void LogChildLookup(const char* variable, const char* owner, int index, const char* source, int line);
// "ResourceID(%d): ", written just before ReportError.
void LogResourceId(int id);

// Writes the system's text for `code` (an HRESULT or a system error code), then
// "ERROR:%d CurrentMemUsage:%d\n" with the code and GetProcessMemoryUsage().
void ReportError(HRESULT code);
// With the DWORD "CaptureDump" of HKEY_CURRENT_USER\Software\Korvex\ZelFramework
// non-zero, writes a report of the current stack into the user's cache folder
// ($XDG_CACHE_HOME/lumetra, else ~/.cache/lumetra). A missing value is 0.
void CaptureDumpIfEnabled();
// The process's resident memory in bytes as the kernel counts it; 0 when it
// cannot be read.
int GetProcessMemoryUsage();
// Resolves `name` in `library`, loading the library into `*cache` when the
// cache holds none. A name that is not found frees the library, clears the
// cache and gives null.
FARPROC GetModuleProc(LPCWSTR name, HMODULE* cache, LPCWSTR library);

// Releases a COM object and clears the pointer; a release that reports a
// failure is logged with LogReleaseObj.
template <class T>
void ReleaseObject(T*& object, const char* expression, const char* source, int line) {
    if (!object) return;
    if (FAILED((HRESULT)object->Release())) LogReleaseObj(expression, source, line);
    object = nullptr;
}

// The latest diagnostic text, and the executable's file name as the first
// diagnostic recorded it (empty before any).
const wchar_t* DiagnosticText();
const wchar_t* DiagnosticModuleName();

#include "dialogs/OpenFlow.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "imaging/LoadPicture.h"

namespace {

constexpr wchar_t kFilter[] = L"All\0*.*\0BMP Files\0*.bmp\0JPEG Files\0*.jpg\0";
// Room for any path the file system can hold: a choice the buffer could not take
// would come back as no choice at all, which closes the application.
constexpr int kPathChars = (int)kMaxNativePath;

// True when the UTF-8 form of `text` (its first `chars` characters, or all of it
// for -1) fits into a zero-terminated field of `bytes` bytes.
bool FitsField(const wchar_t* text, int chars, size_t bytes) {
    int need = WideCharToMultiByte(CP_ACP, 0, text, chars, nullptr, 0, nullptr, nullptr);
    return (size_t)need + (chars < 0 ? 0 : 1) <= bytes;
}

}  // namespace

int ChoosePicture(HWND window, ImageRecord* record, int64_t maxBytes) {
    auto* ofn = static_cast<OPENFILENAMEEX*>(calloc(1, sizeof(OPENFILENAMEEX)));
    auto* file = static_cast<wchar_t*>(calloc(kPathChars, sizeof(wchar_t)));
    auto* title = static_cast<wchar_t*>(calloc(kPathChars, sizeof(wchar_t)));
    int result = 1;
    if (ofn && file && title) {
        ofn->lStructSize = sizeof(OPENFILENAMEEX);
        ofn->hwndOwner = window;
        ofn->lpstrFilter = kFilter;
        ofn->nFilterIndex = 3;
        ofn->lpstrFile = file;
        ofn->nMaxFile = kPathChars;
        ofn->lpstrFileTitle = title;
        ofn->nMaxFileTitle = kPathChars;
        ofn->lpstrInitialDir = L"My Storage";
        ofn->ExFlags = OFN_EXFLAG_THUMBNAILVIEW | OFN_EXFLAG_HIDEDRMPROTECTED;
        if (GetOpenFileNameEx(ofn) == 1) {
            // The folder is the chosen path up to its last separator. A picture
            // whose folder or name the record cannot hold whole is refused: it
            // could not be saved back under its own name.
            const wchar_t* cut = wcsrchr(file, L'/');
            size_t length = cut ? (size_t)(cut - file) : 0;
            result = 0;
            if (FitsField(file, (int)length, sizeof record->folder) && FitsField(title, -1, sizeof record->name)) {
                HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
                result = LoadPicture(file, title, record, maxBytes) != LOAD_FAILED ? 2 : 0;
                SetCursor(previous);
            }
            if (result == 2) {
                memset(record->folder, 0, sizeof record->folder);
                WideCharToMultiByte(CP_ACP, 0, file, (int)length, record->folder, sizeof record->folder - 1, nullptr,
                                    nullptr);
            }
        }
    }
    free(ofn);
    free(file);
    free(title);
    return result;
}

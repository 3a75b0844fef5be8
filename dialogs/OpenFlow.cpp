#include "dialogs/OpenFlow.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "imaging/LoadPicture.h"

namespace {

constexpr wchar_t kFilter[] = L"All\0*.*\0BMP Files\0*.bmp\0JPEG Files\0*.jpg\0";
constexpr int kPathChars = 260;

}  // namespace

int ChoosePicture(HWND window, ImageRecord* record) {
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
            HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
            result = LoadPicture(file, title, record) ? 2 : 0;
            SetCursor(previous);
            if (result == 2) {
                // The folder is the chosen path up to its last separator.
                const wchar_t* cut = wcsrchr(file, L'/');
                size_t length = cut ? (size_t)(cut - file) : 0;
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

#include "dialogs/SaveAsDialog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <string>

#include "dialogs/MessagePanel.h"
#include "imaging/JpegWriter.h"
#include "resources/resource_ids.h"

namespace {

constexpr COLORREF kBackgroundColour = 0x504F4B;
constexpr COLORREF kTextColour = RGB(255, 255, 255);
constexpr COLORREF kFrameKey = RGB(255, 255, 255);  // left transparent around the edit frame
constexpr DWORD kInitFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_EMPTYMENU;
constexpr int kFolderChars = 260;
constexpr int kNameChars = 256;  // at most 255 typed characters are read
constexpr int kFontHeight = 40;

// One dialog at a time.
struct SaveAsState {
    HINSTANCE instance;
    HWND owner;
    ImageRecord* record;
    wchar_t folder[kFolderChars];
    HBRUSH background;
    HFONT font;
    HBITMAP title;
    HBITMAP editFrame;
};

SaveAsState s_saveAs;

void ReleaseResources() {
    for (HGDIOBJ* object : {&s_saveAs.background, &s_saveAs.font, &s_saveAs.title, &s_saveAs.editFrame}) {
        if (*object) DeleteObject(*object);
        *object = nullptr;
    }
}

// The record's file name cut before its last ".": the name without its
// extension. A name without a "." offers an empty field.
std::wstring OfferedName() {
    const ImageRecord* record = s_saveAs.record;
    if (!record) return L"";
    wchar_t name[sizeof record->name + 1] = {0};
    MultiByteToWideChar(CP_ACP, 0, record->name, (int)strnlen(record->name, sizeof record->name), name,
                        (int)sizeof record->name);
    wchar_t* dot = wcsrchr(name, L'.');
    if (!dot) return L"";
    *dot = 0;
    return name;
}

// `text` in the system code page, as the file system and the record take it;
// false when a character has no form there.
bool Narrow(const wchar_t* text, std::string& out) {
    BOOL lossy = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy) return false;
    out.assign((size_t)bytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back();  // the terminator
    return true;
}

// The folder to save into, without a trailing separator: an existing folder
// given by its full path that the record can hold whole.
bool TargetFolder(std::string& folder) {
    if (!Narrow(s_saveAs.folder, folder) || folder.empty() || folder[0] != '/') return false;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    struct stat st;
    return folder.size() < sizeof s_saveAs.record->folder && stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The typed name with ".jpg". It must name a file of the folder and nothing
// else: no separator that would reach another folder, not empty, not dots
// alone ("." and ".." name folders, and their files would be hidden), and short
// enough for the folder's file system and for the record.
bool TargetFileName(const wchar_t* typed, const std::string& folder, std::string& fileName) {
    std::string name;
    if (!Narrow(typed, name) || name.empty() || name.find('/') != std::string::npos) return false;
    if (name.find_first_not_of('.') == std::string::npos) return false;
    fileName = name + ".jpg";
    long nameMax = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;
    return fileName.size() <= (size_t)nameMax && fileName.size() < sizeof s_saveAs.record->name;
}

std::wstring Widen(const std::string& text) {
    int chars = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out((size_t)(chars > 0 ? chars : 1), L'\0');
    if (chars > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), chars);
    out.pop_back();
    return out;
}

// "Done": writes the picture under the typed name and makes it the record's
// file. Anything that stops the save leaves the dialog open with the name as
// typed, nothing written and the record unchanged.
void Save(HWND dialog) {
    wchar_t typed[kNameChars] = {0};
    GetDlgItemText(dialog, IDC_SAVEAS_EDIT, typed, kNameChars);
    SipShowIM(SIPF_OFF);
    ImageRecord* record = s_saveAs.record;
    std::string folder, fileName;
    if (!record || !TargetFolder(folder) || !TargetFileName(typed, folder, fileName)) return;
    const std::string path = (folder == "/" ? folder : folder + "/") + fileName;
    // Whatever has the name (a file this program cannot read, a link, a pipe)
    // is about to be replaced, so the user is asked; a pipe is never opened,
    // which would wait for a writer.
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && AppMessageBox(s_saveAs.instance, dialog, L"Lumetra",
                                                       L"Overwrite original file.\\Continue?", PANEL_OK_CANCEL) != 0)
        return;
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const int saved =
        SaveJpegPicture(Widen(path).c_str(), record->pixels, record->width, record->height, record->metadata);
    if (saved) {
        memset(record->folder, 0, sizeof record->folder);
        memcpy(record->folder, folder.data(), folder.size());
        memset(record->name, 0, sizeof record->name);
        memcpy(record->name, fileName.data(), fileName.size());
    }
    SetCursor(previous);
    if (saved) EndDialog(dialog, CMD_SAVEAS_DONE);
}

void OnInit(HWND dialog) {
    SHINITDLGINFO info{SHIDIM_FLAGS, dialog, kInitFlags};
    SHInitDialog(&info);
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    bar.hwndParent = dialog;
    bar.dwFlags = SHCMBF_HMENU;
    bar.nToolBarId = IDM_SAVEAS_SOFTKEYS;
    bar.hInstRes = s_saveAs.instance;
    SHCreateMenuBar(&bar);
    SipShowIM(SIPF_ON);

    HDC dc = GetDC(dialog);
    COLORREF background = dc ? GetNearestColor(dc, kBackgroundColour) : CLR_INVALID;
    if (dc) ReleaseDC(dialog, dc);
    s_saveAs.background = CreateSolidBrush(background != CLR_INVALID ? background : kBackgroundColour);
    s_saveAs.title = LoadBitmap(s_saveAs.instance, MAKEINTRESOURCE(IDB_SAVEAS_TITLE));
    s_saveAs.editFrame = LoadBitmap(s_saveAs.instance, MAKEINTRESOURCE(IDB_SAVEAS_EDITFRAME));
    LOGFONT lf{};
    lf.lfHeight = kFontHeight;
    lf.lfWeight = FW_MEDIUM;
    wcscpy(lf.lfFaceName, L"DejaVu Sans");
    s_saveAs.font = CreateFontIndirect(&lf);

    HWND edit = GetDlgItem(dialog, IDC_SAVEAS_EDIT);
    SendMessage(edit, WM_SETFONT, (WPARAM)s_saveAs.font, 0);
    MoveWindow(edit, 20, 145, 445, 55, FALSE);
    SetWindowText(edit, OfferedName().c_str());
    SetFocus(edit);  // typing goes to the name at once
}

void Paint(HWND dialog) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dialog, &ps);
    if (HDC mem = s_saveAs.title ? CreateCompatibleDC(dc) : nullptr) {
        HGDIOBJ old = SelectObject(mem, s_saveAs.title);
        BitBlt(dc, 0, 0, 480, 75, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    if (s_saveAs.editFrame) TransparentImage(dc, 15, 140, 452, 62, s_saveAs.editFrame, 0, 0, 452, 62, kFrameKey);
    HGDIOBJ old = SelectObject(dc, s_saveAs.font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kTextColour);
    ExtTextOut(dc, 22, 18, 0, nullptr, L"Rename", 6, nullptr);
    ExtTextOut(dc, 22, 93, 0, nullptr, L"Enter filename:", 15, nullptr);
    SelectObject(dc, old);
    EndPaint(dialog, &ps);
}

INT_PTR SaveAsDialog(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            OnInit(dialog);
            return FALSE;  // the focus is set
        case WM_PAINT:
            Paint(dialog);
            return TRUE;
        case WM_CTLCOLOREDIT:
            SetBkMode((HDC)wParam, TRANSPARENT);
            SetTextColor((HDC)wParam, kTextColour);
            return (INT_PTR)s_saveAs.background;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORDLG:
            return (INT_PTR)s_saveAs.background;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case CMD_SAVEAS_DONE:
                    Save(dialog);
                    return TRUE;
                case CMD_SAVEAS_CANCEL:
                    EndDialog(dialog, CMD_SAVEAS_CANCEL);
                    return TRUE;
                case IDOK:  // the caption's OK button leaves without saving
                    EndDialog(dialog, IDOK);
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_CLOSE:
            EndDialog(dialog, WM_CLOSE);
            return TRUE;
        case WM_DESTROY:
            // However the dialog ends, what it made goes with its window.
            ReleaseResources();
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

int ShowSaveAsDialog(HINSTANCE instance, HWND owner, ImageRecord* record, const wchar_t* folder) {
    s_saveAs = SaveAsState{};
    s_saveAs.instance = instance;
    s_saveAs.owner = owner;
    s_saveAs.record = record;
    // A folder the buffer cannot hold whole is not taken at all: cut short it
    // would name another folder.
    if (folder && wcslen(folder) < (size_t)kFolderChars) swprintf(s_saveAs.folder, kFolderChars, L"%ls", folder);
    DialogBox(instance, MAKEINTRESOURCE(IDD_SAVEAS), owner, SaveAsDialog);
    ReleaseResources();
    return 1;
}

// The Save As dialog: a full-screen dialog in which the user types a new name
// for the loaded picture, which is then written as a JPEG file into a folder
// chosen beforehand and becomes the picture's file.
#pragma once

#include "imaging/ImageRecord.h"
#include "platform/win32.h"

// Runs the dialog modally over `owner` to save `record`'s pixels into `folder`
// (a full path). The field offers the record's name without its extension. On
// "Done" the typed name with ".jpg" is written there, after asking before an
// existing file is replaced, and the folder and that file name are stored in
// the record. A name or folder that cannot be saved (a name holding '/', empty
// or only dots, longer than the file system or the record holds; a folder that
// is not there) writes nothing and leaves the dialog open and the record as it
// was. Returns 1.
int ShowSaveAsDialog(HINSTANCE instance, HWND owner, ImageRecord* record, const wchar_t* folder);

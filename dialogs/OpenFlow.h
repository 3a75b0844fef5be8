// Choosing a picture with the shell's open-file dialog and loading it.
#pragma once

#include "imaging/ImageRecord.h"
#include "platform/win32.h"

// 2 when a picture was chosen and loaded, 0 when it could not be loaded, 1 when
// the user left the dialog without choosing.
int ChoosePicture(HWND window, ImageRecord* record);

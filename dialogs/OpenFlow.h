// Choosing a picture with the shell's open-file dialog and loading it.
#pragma once

#include <cstdint>

#include "imaging/ImageRecord.h"
#include "platform/win32.h"

// 2 when a picture was chosen and loaded, 0 when it could not be loaded, 1 when
// the user left the dialog without choosing. A picture of more than `maxBytes`
// pixel bytes (when above 0) is not decoded: it also gives 2, with its size in
// the record and no pixels, for the caller to refuse.
int ChoosePicture(HWND window, ImageRecord* record, int64_t maxBytes = 0);

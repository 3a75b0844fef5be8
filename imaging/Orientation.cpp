#include "imaging/Orientation.h"

int NormalOrientation(int orientation) {
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

bool OrientationSwapsSides(int orientation) {
    return NormalOrientation(orientation) >= 5;
}

void UprightSize(int orientation, int storedWidth, int storedHeight, int* width, int* height) {
    const bool swap = OrientationSwapsSides(orientation);
    *width = swap ? storedHeight : storedWidth;
    *height = swap ? storedWidth : storedHeight;
}

// Each orientation says where the stored first row and first column lie in the
// upright picture; the last stored column and row are the far ends of those.
UprightSteps StoredToUpright(int orientation, int storedWidth, int storedHeight, size_t uprightStride) {
    const ptrdiff_t row = static_cast<ptrdiff_t>(uprightStride), pixel = 3;
    const ptrdiff_t lastX = storedWidth - 1, lastY = storedHeight - 1;
    switch (NormalOrientation(orientation)) {
        case 2:  // first row on top, first column on the right
            return {lastX * pixel, row, -pixel};
        case 3:  // first row at the bottom, first column on the right
            return {lastY * row + lastX * pixel, -row, -pixel};
        case 4:  // first row at the bottom, first column on the left
            return {lastY * row, -row, pixel};
        case 5:  // first row on the left, first column on top
            return {0, pixel, row};
        case 6:  // first row on the right, first column on top
            return {lastY * pixel, -pixel, row};
        case 7:  // first row on the right, first column at the bottom
            return {lastX * row + lastY * pixel, -pixel, -row};
        case 8:  // first row on the left, first column at the bottom
            return {lastX * row, pixel, -row};
        default:  // stored upright
            return {0, row, pixel};
    }
}

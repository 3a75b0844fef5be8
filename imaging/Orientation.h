// The eight EXIF orientations: how a picture stored turned or mirrored is put
// the right way up. Orientation 1 is stored upright; 2 mirrored left to right;
// 3 turned half round; 4 mirrored top to bottom; 5 to 8 are stored a quarter
// turn off, so the upright picture's width is the stored height (5 mirrored
// along the main diagonal, 6 to be turned clockwise, 7 mirrored along the
// other diagonal, 8 to be turned anticlockwise). Any other value counts as 1.
#pragma once

#include <cstddef>

// A value outside 1..8 as 1.
int NormalOrientation(int orientation);

// True for orientations 5 to 8: the upright width is the stored height.
bool OrientationSwapsSides(int orientation);

// The upright size of a picture stored `storedWidth` x `storedHeight` pixels.
void UprightSize(int orientation, int storedWidth, int storedHeight, int* width, int* height);

// Where stored pixels land in the upright picture: stored pixel (x, y) starts at
// byte origin + y * rowStep + x * columnStep of an upright buffer of 3 bytes a
// pixel whose rows are `uprightStride` bytes apart (at least 3 x the upright
// width). Steps may be negative; every stored pixel lands inside the upright
// picture's rows, and no two land on the same place.
struct UprightSteps {
    ptrdiff_t origin;
    ptrdiff_t rowStep;
    ptrdiff_t columnStep;
};
UprightSteps StoredToUpright(int orientation, int storedWidth, int storedHeight, size_t uprightStride);

// The pyramid level of a picture: how many times its reduced working copy is
// halved. 0 for a longer side up to 420 pixels, 1 up to 850, 2 up to 1650, 3 up
// to 3250, 4 above.
#pragma once

int PyramidLevel(int longerSide);

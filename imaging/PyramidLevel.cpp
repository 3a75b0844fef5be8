#include "imaging/PyramidLevel.h"

int PyramidLevel(int longerSide) {
    if (longerSide > 3250) return 4;
    if (longerSide > 1650) return 3;
    if (longerSide > 850) return 2;
    if (longerSide > 420) return 1;
    return 0;
}

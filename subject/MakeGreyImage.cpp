#include "subject/MakeGreyImage.h"

#include <cstddef>

void MakeGreyImage(const uint8_t* image, uint8_t* grey, int width, int height) {
    if (!image || !grey || width <= 0 || height <= 0) return;
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < count; i++, image += 3) {
        grey[i] = static_cast<uint8_t>((image[0] + image[1] + image[2]) / 3);
    }
}

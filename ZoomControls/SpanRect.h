// A span of pixels with inclusive edges: a source span in picture pixels or a
// destination span in client pixels.
#pragma once

#include <cstdint>

struct SpanRect {
    int32_t x0, x1, y0, y1;
};

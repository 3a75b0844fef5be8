// Working buffers of the picture work. Every buffer the detector, the eye
// verifier, the segmentation, the hole filler, the subject pipeline, the touch
// editor and the blur renderer allocate, and the main window's working copies
// (reduced copy, mask, undo copy), come from here, so a test can make an
// allocation fail and check that each caller copes with it.
#pragma once

#include <cstddef>

void* WorkAlloc(size_t bytes);
// Zero-filled, with the count x size product checked for overflow.
void* WorkCalloc(size_t count, size_t size);
void WorkFree(void* block);

// After `count` more successful allocations every further one fails, until the
// next call; a negative count lets every allocation succeed again (the default).
void FailWorkAllocationsAfter(int count);

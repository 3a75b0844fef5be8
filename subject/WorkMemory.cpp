#include "subject/WorkMemory.h"

#include <cstdlib>

namespace {

// Allocations still allowed before the injected failures begin; negative: no limit.
int g_allowed = -1;

bool Allowed() {
    if (g_allowed < 0) return true;
    if (g_allowed == 0) return false;
    g_allowed--;
    return true;
}

}  // namespace

void* WorkAlloc(size_t bytes) {
    return Allowed() ? std::malloc(bytes) : nullptr;
}

void* WorkCalloc(size_t count, size_t size) {
    return Allowed() ? std::calloc(count, size) : nullptr;
}

void WorkFree(void* block) {
    std::free(block);
}

void FailWorkAllocationsAfter(int count) {
    g_allowed = count;
}

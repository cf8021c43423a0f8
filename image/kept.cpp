// Giving back what the image library keeps for speed (see kept.h).
#include "image/kept.h"

#include <stdlib.h>

#include "runtime/memory.h"

int32_t (*image_kept_release)(void);

int32_t image_kept_give_back(void) {
    return image_kept_release ? image_kept_release() : 0;
}

void* image_memory_alloc(int32_t size, uint32_t flags) {
    void* block = memory_alloc(size, flags);
    if (!block && image_kept_give_back()) block = memory_alloc(size, flags);
    return block;
}

void* image_malloc(size_t size) {
    void* block = malloc(size);
    if (!block && image_kept_give_back()) block = malloc(size);
    return block;
}

// Memory the image library keeps for speed (large DIB sections, the block files are read
// into) must never make a picture fail that would succeed without it. An allocation on
// the picture path that fails gives it back and tries once more: plain blocks through
// image_memory_alloc and image_malloc, other allocations as
//
//     table = table_build(...);
//     if (!table && image_kept_give_back()) table = table_build(...);
//
// Platform-neutral: what is kept belongs to the Windows image objects and loader, which
// install the release at start-up; elsewhere nothing is kept and nothing given back.
#ifndef VANTOREL_IMAGE_KEPT_H
#define VANTOREL_IMAGE_KEPT_H

#include <stddef.h>
#include <stdint.h>

// Frees whatever is kept and not in use; 1 when something was freed (worth trying the
// allocation again), 0 when nothing was.
int32_t image_kept_give_back(void);

// memory_alloc and malloc that give back what is kept and try once more before failing;
// the blocks are freed with memory_free and free.
void* image_memory_alloc(int32_t size, uint32_t flags);
void* image_malloc(size_t size);

// The release behind image_kept_give_back, or null where nothing is kept.
extern int32_t (*image_kept_release)(void);

#endif

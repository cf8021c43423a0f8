// Memory the image library keeps for speed (large DIB sections, the block files are read
// into) must never make a picture fail that would succeed without it. An allocation on
// the picture path that fails gives it back and tries once more:
//
//     block = malloc(size);
//     if (!block && image_kept_give_back()) block = malloc(size);
//
// Platform-neutral: what is kept belongs to the Windows image objects and loader, which
// install the release at start-up; elsewhere nothing is kept and nothing given back.
#ifndef VANTOREL_IMAGE_KEPT_H
#define VANTOREL_IMAGE_KEPT_H

#include <stdint.h>

// Frees whatever is kept and not in use; 1 when something was freed (worth trying the
// allocation again), 0 when nothing was.
int32_t image_kept_give_back(void);

// The release behind image_kept_give_back, or null where nothing is kept.
extern int32_t (*image_kept_release)(void);

#endif

// The halftone stretch: every target pixel is the average of the source pixels that
// fall on it, each weighted by the exact area it covers. Integer arithmetic throughout,
// one rounding at the end, so the result does not depend on the platform's stretch.
#ifndef VANTOREL_IMAGE_HALFTONE_H
#define VANTOREL_IMAGE_HALFTONE_H

#include <stdint.h>

enum { HALFTONE_LARGEST_SIDE = 65535 };

// Stretches a picture of 3 or 4 byte channels (blue, green, red, alpha) whose rows lie
// stride bytes apart, onto the whole target. Both buffers keep the same row order.
// Returns 1, or 0 for bad sizes (below 1 or above HALFTONE_LARGEST_SIDE) or when working
// memory cannot be had.
int32_t halftone_stretch(const uint8_t* source, int32_t source_width, int32_t source_height,
                         int32_t source_stride, uint8_t* target, int32_t target_width,
                         int32_t target_height, int32_t target_stride, int32_t channels);

#endif

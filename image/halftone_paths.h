// The halftone stretch's two compiles of image/halftone.cpp: with SSE2, and plain (x87)
// for processors without it. Both give the same bytes; halftone_stretch picks one.
#ifndef VANTOREL_IMAGE_HALFTONE_PATHS_H
#define VANTOREL_IMAGE_HALFTONE_PATHS_H

#include <stdint.h>

typedef int32_t HalftoneStretch(const uint8_t* source, int32_t source_width,
                                int32_t source_height, int32_t source_stride, uint8_t* target,
                                int32_t target_width, int32_t target_height,
                                int32_t target_stride, int32_t channels);

HalftoneStretch halftone_stretch_sse2;
HalftoneStretch halftone_stretch_plain;

#endif

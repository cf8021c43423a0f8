// Pixel arithmetic shared by every pixel walk of the image library: the row size of a
// DIB, and 32-bit pixels with alpha flattened over white. Platform-neutral.
//
// Pixels are blue, green, red (24-bit) or blue, green, red, alpha (32-bit), rows padded
// to dib_row_bytes.
#ifndef VANTOREL_IMAGE_PIXELS_H
#define VANTOREL_IMAGE_PIXELS_H

#include <stdint.h>

// Bytes of one row at the given bits per pixel; always a multiple of 4.
int32_t dib_row_bytes(int32_t width, int32_t depth);

// One channel of a pixel with that alpha laid over white.
int32_t flatten_over_white(int32_t colour, int32_t alpha);

// Converts one row of width pixels to blue-green-red, followed by a zero byte when
// out_bytes is 4: 32-bit pixels are flattened over white, 24-bit pixels copied.
void pixel_row_flatten(uint8_t* out, int32_t out_bytes, const uint8_t* in, int32_t in_depth,
                       int32_t width);

#endif

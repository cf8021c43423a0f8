// Row sizes and flattening over white.
#include "image/pixels.h"

int32_t dib_row_bytes(int32_t width, int32_t depth) {
    switch (depth) {
    case 1: return (width + 31) / 32 * 4;
    case 4: return (width + 7) / 8 * 4;
    case 8: return (width + 3) / 4 * 4;
    case 15:
    case 16: return (width + 1) / 2 * 4;
    case 24: return (3 * width + 3) / 4 * 4;
    default: return 4 * width;
    }
}

// alpha * colour + 255 * (255 - alpha), over 255: never negative, so a plain floor.
int32_t flatten_over_white(int32_t colour, int32_t alpha) {
    return (alpha * (colour - 255) + 65025) / 255;
}

void pixel_row_flatten(uint8_t* out, int32_t out_bytes, const uint8_t* in, int32_t in_depth,
                       int32_t width) {
    for (int32_t x = 0; x < width; x++, out += out_bytes) {
        if (in_depth == 32) {
            int32_t alpha = in[3];
            for (int c = 0; c < 3; c++) out[c] = (uint8_t)flatten_over_white(in[c], alpha);
            in += 4;
        } else {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            in += 3;
        }
        if (out_bytes == 4) out[3] = 0;
    }
}

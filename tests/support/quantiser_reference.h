// A plain reading of the palette quantiser, written for the tests apart from the library:
// the learned palette and the index of every pixel, with and without error diffusion, so
// that a changed learning or dither constant in the library shows as different bytes.
// The one departure from the plain reading is the library's nearest-entry mend: each
// side of the search stops on its own (see quantiser_test).
#ifndef VANTOREL_TESTS_SUPPORT_QUANTISER_REFERENCE_H
#define VANTOREL_TESTS_SUPPORT_QUANTISER_REFERENCE_H

#include <stdint.h>

#include <vector>

struct ReferenceQuantised {
    uint8_t palette[256][4];   // blue, green, red, alpha; 2^depth entries used
    std::vector<int> indices;  // width * height, in memory order
};

// pixels: packed 32-bit (blue, green, red, alpha), the first row in memory first;
// depth 4 or 8.
ReferenceQuantised reference_quantise(const std::vector<uint8_t>& pixels, int width, int height,
                                      int depth, bool dither);

#endif

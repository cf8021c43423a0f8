// Helpers for the image library's Windows tests: an image's record and its pixels.
#ifndef VANTOREL_TESTS_SUPPORT_IMAGE_HELPERS_H
#define VANTOREL_TESTS_SUPPORT_IMAGE_HELPERS_H

#include "image/image.h"
#include "tests/support/pictures.h"

// The live record of an image number, or null.
ImageObject* test_image(int32_t number);
// The pixels of an image held as a 24- or 32-bit DIB section, top row first, 0xAARRGGBB
// (alpha 255 at 24 bits); an empty picture for anything else.
TestPicture test_image_pixels(int32_t number);
// Loads a whole file made in memory into an image number.
int32_t test_load(int32_t number, const Bytes& file);

#endif

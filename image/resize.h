// Resizing a numbered image: the halftone stretch (every source pixel averaged over the
// target pixels it covers), the bicubic resampler for pictures with alpha, or the raw
// colour-on-colour stretch. Windows only.
#ifndef VANTOREL_IMAGE_RESIZE_H
#define VANTOREL_IMAGE_RESIZE_H

#include <stdint.h>
#include <windows.h>

enum {
    IMAGE_RESIZE_SMOOTH = 0,  // halftone, or bicubic for pictures with alpha
    IMAGE_RESIZE_RAW = 1,     // any non-zero mode: single pixels, nothing averaged
};

// image_resize_ex with IMAGE_RESIZE_SMOOTH.
HBITMAP image_resize(int32_t number, int32_t width, int32_t height);
// Replaces the image's bitmap by one of width x height (IGNORE_VALUE keeps a side).
// Returns the new bitmap, the unchanged one when the size is already that, or 0: for no
// image, an icon, or a side outside 1..32767 nothing changes; a failure after that
// frees the image, its old bitmap gone.
HBITMAP image_resize_ex(int32_t number, int32_t width, int32_t height, int32_t mode);
// Bicubic resampling of one 32-bit DIB section into another; pixels of the old one
// with alpha 0 are whitened first. 1 on success.
int32_t image_resize_bicubic(HBITMAP new_bitmap, int32_t width, int32_t height,
                             HBITMAP old_bitmap, int32_t old_width, int32_t old_height);

#endif

// Numbered images: each image number holds one DIB section or one icon. Windows only.
//
// Every bitmap of the library is a bottom-up DIB section of 24 or 32 bits, rows padded
// to dib_row_bytes; a decoder's picture gets the depth the decoder asks for.
#ifndef VANTOREL_IMAGE_IMAGE_H
#define VANTOREL_IMAGE_IMAGE_H

#include <stdint.h>
#include <windows.h>

#include "image/codec.h"
#include "image/pixels.h"
#include "runtime/registry.h"

struct ImageObject {
    HANDLE handle;  // the DIB section or the icon; 0: no image
    int16_t width;
    int16_t height;
    uint8_t depth;         // bits per pixel of the held bitmap
    int8_t source_depth;   // bits per pixel of the data it came from; the save default
    uint32_t format_code;  // IMAGE_FORMAT_*
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ImageObject) == 16, "ImageObject keeps its 32-bit layout");
#endif

extern ObjectRegistry* image_registry;

// Start-up step: the image registry, 16 numbers at a time, image_free releasing.
void image_library_init(void);
// Shutdown step: frees every image, and what loading and bitmap creation keep for reuse.
void image_library_end(void);
// Frees the block image_load keeps for reading files, unless a load is reading from it;
// 1 when it freed one.
int32_t image_load_release(void);
// -1 frees every image. 0 when the number holds no image.
int32_t image_free(int32_t number);
// What a new DIB section's pixels hold: zeros, or (for a caller that writes every pixel
// itself) anything, with only the padding at the rows' ends zero.
enum DibFill { DIB_CLEARED, DIB_WRITTEN };

// A bottom-up DIB section of at least 24 bits (32 when asked for), or 0.
HBITMAP image_create_dib(int32_t width, int32_t height, int32_t depth, DibFill fill = DIB_CLEARED);
// The icon an icon file's data describes (see icon_choose), or 0.
HICON icon_from_memory(const uint8_t* data, uint32_t size);
// A DIB section of exactly that bit count, no palette, uncompressed; a positive height
// gives bottom-up rows. 0 on failure.
//
// DIB sections of 256 KB and more are not deleted when released but kept, four and
// 160 MB at most, for the next of the same size and bit count: a batch makes and drops
// pictures of the same sizes over and over, and fresh pixel memory costs a page fault
// per 4 KB on first touch, far more than clearing kept memory. Smaller ones are deleted
// at once. When a section cannot be had, what the library keeps is given back and the
// creation tried once more (image/kept.h).
HBITMAP dib_section_create(int32_t width, int32_t height, int32_t bit_count,
                           DibFill fill = DIB_CLEARED);
// Deletes a bitmap of the library, or keeps a large DIB section for reuse.
void dib_section_release(HBITMAP bitmap);
// Deletes the kept DIB sections (the library's end step does it too); returns how many.
int32_t dib_spares_drop(void);

#endif

// image_resize. The halftone path runs the library's own area-averaging stretch on the
// DIB sections' memory, so every platform averages the same way; the raw path is the
// system's colour-on-colour stretch, which takes single pixels already.
#include "image/resize.h"

#include <string.h>

#include "image/alpha.h"
#include "image/halftone.h"
#include "image/image.h"
#include "image/properties.h"
#include "image/resample.h"
#include "runtime/ignore.h"

enum { LARGEST_SIDE = 32767 };  // what the image record's 16-bit sides hold

static uint8_t* dib_pixels(HBITMAP bitmap, int32_t* stride, int32_t* bits) {
    DIBSECTION section;
    if (GetObjectA(bitmap, sizeof section, &section) != sizeof section) return 0;
    *stride = section.dsBm.bmWidthBytes;
    *bits = section.dsBm.bmBitsPixel;
    return (uint8_t*)section.dsBm.bmBits;
}

// A 24-bit copy of a section of another depth (a decoder's 1, 4, 8 or 16 bits), its
// pixels converted by the system through the section's colour table or masks; or 0.
static HBITMAP dib_copy_24(HBITMAP source, int32_t width, int32_t height) {
    HBITMAP copy = image_create_dib(width, height, 24, DIB_WRITTEN);
    int32_t stride, bits;
    uint8_t* pixels = copy ? dib_pixels(copy, &stride, &bits) : 0;
    HDC dc = pixels ? CreateCompatibleDC(0) : 0;
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    bool copied = dc && GetDIBits(dc, source, 0, (UINT)height, pixels, &info, DIB_RGB_COLORS) ==
                            height;
    if (dc) DeleteDC(dc);
    if (copied) return copy;
    dib_section_release(copy);
    return 0;
}

static int32_t stretch_halftone(HBITMAP target, int32_t width, int32_t height, HBITMAP source,
                                int32_t old_width, int32_t old_height) {
    int32_t target_stride, source_stride, target_bits, source_bits;
    uint8_t* out = dib_pixels(target, &target_stride, &target_bits);
    uint8_t* in = dib_pixels(source, &source_stride, &source_bits);
    if (!out || !in) return 0;
    // The averaging works on 24 and 32 bits; other depths are averaged as 24.
    if (source_bits != 24 && source_bits != 32 && target_bits == 24) {
        HBITMAP copy = dib_copy_24(source, old_width, old_height);
        if (!copy) return 0;
        int32_t done = stretch_halftone(target, width, height, copy, old_width, old_height);
        dib_section_release(copy);
        return done;
    }
    if (target_bits != source_bits) return 0;
    GdiFlush();
    return halftone_stretch(in, old_width, old_height, source_stride, out, width, height,
                            target_stride, source_bits / 8);
}

static int32_t stretch_colour_on_colour(HBITMAP target, int32_t width, int32_t height,
                                        HBITMAP source, int32_t old_width, int32_t old_height) {
    HDC target_dc = CreateCompatibleDC(0);
    HDC source_dc = CreateCompatibleDC(0);
    int32_t done = 0;
    if (target_dc && source_dc) {
        HGDIOBJ old_target = SelectObject(target_dc, target);
        HGDIOBJ old_source = SelectObject(source_dc, source);
        SetStretchBltMode(target_dc, COLORONCOLOR);
        done = StretchBlt(target_dc, 0, 0, width, height, source_dc, 0, 0, old_width, old_height,
                          SRCCOPY)
                   ? 1
                   : 0;
        SelectObject(target_dc, old_target);
        SelectObject(source_dc, old_source);
    }
    if (target_dc) DeleteDC(target_dc);
    if (source_dc) DeleteDC(source_dc);
    return done;
}

int32_t image_resize_bicubic(HBITMAP new_bitmap, int32_t width, int32_t height,
                             HBITMAP old_bitmap, int32_t old_width, int32_t old_height) {
    int32_t new_stride, old_stride, new_bits, old_bits;
    uint8_t* out = dib_pixels(new_bitmap, &new_stride, &new_bits);
    uint8_t* in = dib_pixels(old_bitmap, &old_stride, &old_bits);
    if (!out || !in || new_bits != 32 || old_bits != 32) return 0;
    GdiFlush();
    // Fully transparent pixels carry no colour; white keeps dark fringes out of edges.
    uint32_t* pixel = (uint32_t*)in;
    for (int64_t i = 0, n = (int64_t)old_width * old_height; i < n; i++)
        if ((pixel[i] >> 24) == 0) pixel[i] = 0x00FFFFFF;
    return resample_2d(32, in, old_width, old_height, out, width, height);
}

HBITMAP image_resize(int32_t number, int32_t width, int32_t height) {
    return image_resize_ex(number, width, height, IMAGE_RESIZE_SMOOTH);
}

HBITMAP image_resize_ex(int32_t number, int32_t width, int32_t height, int32_t mode) {
    ImageObject* image = (ImageObject*)registry_get(image_registry, number);
    if (!image || GetObjectType(image->handle) != OBJ_BITMAP) return 0;
    HBITMAP old_bitmap = (HBITMAP)image->handle;
    int32_t old_width = image->width, old_height = image->height;
    if (width == IGNORE_VALUE) width = old_width;
    if (height == IGNORE_VALUE) height = old_height;
    if (width == old_width && height == old_height) return old_bitmap;
    // A size the record cannot hold is refused before the picture is touched.
    if (width < 1 || width > LARGEST_SIDE || height < 1 || height > LARGEST_SIDE) return 0;

    // Every way of scaling writes every target pixel.
    HBITMAP result = image_create_dib(width, height, image->depth, DIB_WRITTEN);
    if (result) {
        int32_t done;
        bool alpha = image_has_alpha(old_bitmap) != 0;
        if (mode != IMAGE_RESIZE_SMOOTH)
            done = stretch_colour_on_colour(result, width, height, old_bitmap, old_width, old_height);
        else if (alpha)
            done = image_resize_bicubic(result, width, height, old_bitmap, old_width, old_height);
        else
            done = stretch_halftone(result, width, height, old_bitmap, old_width, old_height);
        if (!done) {
            dib_section_release(result);
            result = 0;
        }
    }
    dib_section_release(old_bitmap);
    if (!result) {
        // Without a bitmap the number holds no image, and its record goes as image_free's
        // does rather than stay showing the requested size: a record without a handle is
        // not live, so neither image_free nor the end step could ever free an automatic
        // one again. For a table number both leave the same empty slot.
        image_properties_keep(number, 0);
        registry_free(image_registry, number);
        return 0;
    }
    image->width = (int16_t)width;
    image->height = (int16_t)height;
    image->handle = result;
    // A picture of fewer bits now has the 24 of its new bitmap.
    if (image->depth < 24) image->depth = 24;
    return result;
}

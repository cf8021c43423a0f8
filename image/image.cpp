// The image registry, DIB section creation and freeing images, and the few large DIB
// sections kept for reuse.
#include "image/image.h"

#include <string.h>

#include "image/kept.h"
#include "image/properties.h"

ObjectRegistry* image_registry;

namespace {

struct SpareDib {
    HBITMAP bitmap;
    int32_t width;
    int32_t height;
    int32_t bit_count;
    size_t bytes;
};

// A batch keeps up to two sizes of picture in flight (the loaded ones, and the resized
// one), and two picture sizes alternate when a folder mixes two cameras or turns.
enum { SPARE_SLOTS = 4 };
const size_t SPARE_SMALLEST = (size_t)256 << 10;
const size_t SPARE_ALL = (size_t)160 << 20;

SpareDib spares[SPARE_SLOTS];  // the latest released first

// A kept section of that size, taken out of the slots, or 0.
HBITMAP spare_take(int32_t width, int32_t height, int32_t bit_count) {
    for (int slot = 0; slot < SPARE_SLOTS; slot++) {
        SpareDib spare = spares[slot];
        if (!spare.bitmap || spare.width != width || spare.height != height ||
            spare.bit_count != bit_count)
            continue;
        memmove(spares + slot, spares + slot + 1, sizeof(SpareDib) * (SPARE_SLOTS - 1 - slot));
        spares[SPARE_SLOTS - 1] = SpareDib();
        return spare.bitmap;
    }
    return 0;
}

// Gives a reused section the contents a new one would have for the caller.
bool spare_fill(HBITMAP bitmap, DibFill fill) {
    DIBSECTION section;
    if (GetObjectA(bitmap, sizeof section, &section) != sizeof section || !section.dsBm.bmBits)
        return false;
    // Drawing into the bitmap may still be queued: finish it before writing the memory.
    GdiFlush();
    uint8_t* bits = (uint8_t*)section.dsBm.bmBits;
    const size_t stride = (size_t)section.dsBm.bmWidthBytes;
    const size_t used = ((size_t)section.dsBm.bmWidth * section.dsBm.bmBitsPixel + 7) / 8;
    if (fill == DIB_CLEARED) {
        memset(bits, 0, stride * (size_t)section.dsBm.bmHeight);
    } else if (used < stride) {
        for (int32_t row = 0; row < section.dsBm.bmHeight; row++)
            memset(bits + stride * (size_t)row + used, 0, stride - used);
    }
    return true;
}

// What image_kept_give_back frees: the kept sections, and the file block unless a load
// is reading from it.
int32_t kept_release(void) {
    int32_t dropped = dib_spares_drop();
    return image_load_release() || dropped ? 1 : 0;
}

}  // namespace

void image_library_init(void) {
    image_registry = registry_new(sizeof(ImageObject), 16, image_free);
    image_kept_release = kept_release;
}

void image_library_end(void) {
    image_free(-1);
    image_properties_drop_all();
    dib_spares_drop();
    image_load_release();
}

int32_t image_free(int32_t number) {
    if (number == -1) {
        registry_release_all(image_registry);
        return 1;
    }
    ImageObject* image = (ImageObject*)registry_get(image_registry, number);
    if (!image) return 0;
    if (GetObjectType(image->handle) == OBJ_BITMAP)
        dib_section_release((HBITMAP)image->handle);
    else
        DestroyIcon((HICON)image->handle);
    image_properties_keep(number, 0);
    registry_free(image_registry, number);
    return 1;
}

HBITMAP dib_section_create(int32_t width, int32_t height, int32_t bit_count, DibFill fill) {
    HBITMAP spare = spare_take(width, height, bit_count);
    if (spare) {
        if (spare_fill(spare, fill)) return spare;
        DeleteObject(spare);
    }
    // The header and a whole colour table, all zero: at 1, 4 and 8 bits the system reads
    // 2, 16 or 256 entries behind the header.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info;
    memset(&info, 0, sizeof info);
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = (WORD)bit_count;
    info.header.biCompression = BI_RGB;
    for (int attempt = 0; attempt < 2; attempt++) {
        HDC dc = CreateCompatibleDC(0);
        if (!dc) return 0;
        void* bits;
        HBITMAP bitmap = CreateDIBSection(dc, (const BITMAPINFO*)&info, DIB_RGB_COLORS, &bits, 0, 0);
        DeleteDC(dc);
        if (bitmap || width < 1 || height < 1 || !image_kept_give_back()) return bitmap;
    }
    return 0;
}

void dib_section_release(HBITMAP bitmap) {
    if (!bitmap) return;
    DIBSECTION section;
    if (GetObjectA(bitmap, sizeof section, &section) == sizeof section && section.dsBm.bmBits &&
        section.dsBmih.biHeight > 0 && section.dsBmih.biCompression == BI_RGB) {
        size_t bytes = (size_t)section.dsBm.bmWidthBytes * (size_t)section.dsBm.bmHeight;
        if (bytes >= SPARE_SMALLEST && bytes <= SPARE_ALL) {
            // In front of the others; the oldest go beyond SPARE_SLOTS or SPARE_ALL.
            SpareDib kept[SPARE_SLOTS + 1];
            kept[0] = SpareDib{bitmap, section.dsBm.bmWidth, section.dsBm.bmHeight,
                               section.dsBm.bmBitsPixel, bytes};
            memcpy(kept + 1, spares, sizeof spares);
            int used = 0;
            size_t total = 0;
            for (int i = 0; i <= SPARE_SLOTS; i++) {
                if (!kept[i].bitmap) continue;
                if (used < SPARE_SLOTS && total + kept[i].bytes <= SPARE_ALL) {
                    total += kept[i].bytes;
                    spares[used++] = kept[i];
                } else {
                    DeleteObject(kept[i].bitmap);
                }
            }
            for (int i = used; i < SPARE_SLOTS; i++) spares[i] = SpareDib();
            return;
        }
    }
    DeleteObject(bitmap);
}

int32_t dib_spares_drop(void) {
    int32_t dropped = 0;
    for (int slot = 0; slot < SPARE_SLOTS; slot++) {
        if (spares[slot].bitmap) {
            DeleteObject(spares[slot].bitmap);
            dropped++;
        }
        spares[slot] = SpareDib();
    }
    return dropped;
}

HBITMAP image_create_dib(int32_t width, int32_t height, int32_t depth, DibFill fill) {
    return dib_section_create(width, height, depth > 24 ? depth : 24, fill);
}

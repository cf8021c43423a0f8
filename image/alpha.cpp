// Alpha support state and 32-bit pixel access.
#include "image/alpha.h"

#include <string.h>

#include "image/pixels.h"
#include "runtime/memory.h"

static HMODULE alpha_library;
static FARPROC alpha_blend;

void alpha_support_init(void) {
    alpha_library = LoadLibraryA("msimg32.dll");
    alpha_blend = alpha_library ? GetProcAddress(alpha_library, "AlphaBlend") : 0;
}

void alpha_support_end(void) {
    if (alpha_library) FreeLibrary(alpha_library);
    alpha_library = 0;
    alpha_blend = 0;
}

uint8_t* bitmap_get_bits32(HBITMAP bitmap, int32_t* allocated) {
    BITMAP description;
    if (!GetObjectA(bitmap, sizeof description, &description)) return 0;
    if (description.bmBits) {
        *allocated = 0;
        return (uint8_t*)description.bmBits;
    }
    *allocated = 1;
    int32_t width = description.bmWidth, height = description.bmHeight;
    int64_t bytes = (int64_t)dib_row_bytes(width, 32) * height;
    if (bytes <= 0 || bytes > INT32_MAX) return 0;
    HDC dc = CreateCompatibleDC(0);
    if (!dc) return 0;
    uint8_t* block = (uint8_t*)memory_alloc((int32_t)bytes, MEMORY_NO_CLEAR);
    if (block) {
        BITMAPINFOHEADER info;
        memset(&info, 0, sizeof info);
        info.biSize = sizeof info;
        info.biWidth = width;
        info.biHeight = -height;  // top-down rows
        info.biPlanes = 1;
        info.biBitCount = 32;
        info.biCompression = BI_RGB;
        if (!GetDIBits(dc, bitmap, 0, (UINT)height, block, (BITMAPINFO*)&info, DIB_RGB_COLORS)) {
            memory_free(block);
            block = 0;
        }
    }
    DeleteDC(dc);
    return block;
}

int32_t image_has_alpha(HBITMAP bitmap) {
    if (!alpha_blend) return 0;
    if (GetObjectType(bitmap) != OBJ_BITMAP) return 0;
    DIBSECTION section;
    if (GetObjectA(bitmap, sizeof section, &section) == sizeof section)
        return section.dsBm.bmBitsPixel == 32 ? 1 : 0;
    BITMAP description;
    if (!GetObjectA(bitmap, sizeof description, &description)) return 0;
    if (description.bmBitsPixel != 32) return 0;
    int32_t allocated;
    uint8_t* pixels = bitmap_get_bits32(bitmap, &allocated);
    if (!pixels) return 0;
    int32_t row_bytes = dib_row_bytes(description.bmWidth, 32);
    int32_t found = 0;
    for (int32_t y = 0; y < description.bmHeight && !found; y++) {
        const uint8_t* row = pixels + (size_t)y * row_bytes;
        for (int32_t x = 0; x < description.bmWidth; x++)
            if (row[4 * x + 3] != 0) {
                found = 1;
                break;
            }
    }
    if (allocated) memory_free(pixels);
    return found;
}

// The image registry, DIB section creation and freeing images.
#include "image/image.h"

#include <string.h>

ObjectRegistry* image_registry;

void image_library_init(void) {
    image_registry = registry_new(sizeof(ImageObject), 16, image_free);
}

void image_library_end(void) {
    image_free(-1);
}

int32_t image_free(int32_t number) {
    if (number == -1) {
        registry_release_all(image_registry);
        return 1;
    }
    ImageObject* image = (ImageObject*)registry_get(image_registry, number);
    if (!image) return 0;
    if (GetObjectType(image->handle) == OBJ_BITMAP)
        DeleteObject(image->handle);
    else
        DestroyIcon((HICON)image->handle);
    registry_free(image_registry, number);
    return 1;
}

HBITMAP dib_section_create(int32_t width, int32_t height, int32_t bit_count) {
    HDC dc = CreateCompatibleDC(0);
    if (!dc) return 0;
    // The header and one zero colour entry, as BITMAPINFO lays them out.
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = (WORD)bit_count;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, 0, 0);
    DeleteDC(dc);
    return bitmap;
}

HBITMAP image_create_dib(int32_t width, int32_t height, int32_t depth) {
    return dib_section_create(width, height, depth > 24 ? depth : 24);
}

// Saving images: BMP files written by the library itself, every other format through
// the encoder registered under its code. 32-bit pixels go to an encoder that takes only
// 24 bits flattened over white.
#include <string.h>

#include "image/bmp.h"
#include "image/codec.h"
#include "image/image.h"
#include "image/kept.h"
#include "image/properties.h"
#include "runtime/memory.h"

static int32_t file_sink_write(void* context, const void* data, uint32_t size) {
    DWORD written = 0;
    return WriteFile((HANDLE)context, data, size, &written, 0) && written == size;
}

int32_t bmp_write(const char* file_name, const uint8_t* pixels, int32_t pitch, int32_t width,
                  int32_t height, int32_t pixel_depth, int32_t flags, int32_t options,
                  int32_t depth) {
    BmpWriteLayout layout;
    if (!pixels || !bmp_write_layout(width, height, pixel_depth, depth, &layout)) return 0;
    HANDLE file = CreateFileA(file_name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, 0,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BmpSink sink = {file_sink_write, file};
    int32_t ok = bmp_encode(&sink, pixels, pitch, width, height, pixel_depth, flags, options, depth);
    CloseHandle(file);
    if (!ok) DeleteFileA(file_name);
    return ok;
}

int32_t image_encode_dispatch(const char* file_name, const uint8_t* pixels, uint32_t code,
                              int32_t width, int32_t height, int32_t pitch, int32_t pixel_depth,
                              int32_t flags, int32_t options, int32_t depth) {
    if (code == IMAGE_FORMAT_BMP)
        return bmp_write(file_name, pixels, pitch, width, height, pixel_depth, flags, options, depth);
    const ImageEncoder* encoder = image_encoder_find(code);
    if (!encoder) return 0;
    if (pixel_depth == 24)
        return encoder->encode24(file_name, pixels, width, height, pitch, flags, options, depth);
    if (pixel_depth != 32) return 0;
    if (encoder->encode32 && (depth == 32 || depth == -1))
        return encoder->encode32(file_name, pixels, width, height, pitch, flags, options, depth);

    int32_t flat_pitch = dib_row_bytes(width, 24);
    int64_t bytes = (int64_t)flat_pitch * height;
    if (width < 1 || height < 1 || bytes > INT32_MAX) return 0;
    uint8_t* flat = (uint8_t*)image_memory_alloc((int32_t)bytes, 0);
    if (!flat) return 0;
    for (int32_t y = 0; y < height; y++)
        pixel_row_flatten(flat + (size_t)y * flat_pitch, 3, pixels + (size_t)y * pitch, 32, width);
    int32_t result = encoder->encode24(file_name, flat, width, height, flat_pitch, flags, options, depth);
    memory_free(flat);
    return result;
}

int32_t image_save_ex(int32_t number, const char* file_name, uint32_t code, int32_t options,
                      int32_t depth) {
    if (!file_name || !file_name[0]) return 0;
    ImageObject* image = (ImageObject*)registry_get(image_registry, number);
    if (!image) return 0;
    // Only a DIB section has pixels to write; an icon has none.
    DIBSECTION section;
    if (GetObjectA(image->handle, sizeof section, &section) != sizeof section || !section.dsBm.bmBits)
        return 0;
    if (depth == -1) depth = image->source_depth;
    // The encoder writes what the picture carries; the BMP writer ignores it.
    image_properties_saving = image_properties_of(number);
    int32_t result = image_encode_dispatch(
        file_name, (const uint8_t*)section.dsBm.bmBits, code, image->width, image->height,
        dib_row_bytes(section.dsBm.bmWidth, section.dsBm.bmBitsPixel), image->depth,
        IMAGE_BOTTOM_UP, options, depth);
    image_properties_saving = 0;
    return result;
}

int32_t image_save(int32_t number, const char* file_name, uint32_t code, int32_t options) {
    return image_save_ex(number, file_name, code, options, -1);
}

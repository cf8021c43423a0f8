// Loading images: the whole file into memory, then the built-in BMP and icon readers,
// then the registered decoders, which write into a DIB section made for them.
#include <string.h>

#include "image/bmp.h"
#include "image/codec.h"
#include "image/image.h"
#include "image/kept.h"
#include "image/properties.h"
#include "runtime/memory.h"

// What a reader hands back to image_load_memory.
struct LoadedImage {
    HANDLE handle;
    int32_t width;
    int32_t height;
    int32_t depth;  // of the bitmap, for an icon of its colour bitmap
    int32_t source_depth;
    uint32_t format_code;
    ImageProperties* properties;  // what a decoder found besides the pixels, or null
};

static void loaded_from_bitmap(LoadedImage* out, HBITMAP bitmap, const BITMAP* description) {
    out->handle = bitmap;
    out->width = description->bmWidth;
    out->height = description->bmHeight;
    out->depth = description->bmBitsPixel;
}

// A 32-bit file whose alpha bytes are all zero carries no alpha: it loads opaque.
static void alpha_make_opaque_if_unused(uint8_t* pixels, int32_t width, int32_t height) {
    int64_t count = (int64_t)width * height;
    for (int64_t i = 0; i < count; i++)
        if (pixels[4 * i + 3] != 0) return;
    for (int64_t i = 0; i < count; i++) pixels[4 * i + 3] = 255;
}

static bool bmp_read(const uint8_t* data, uint32_t size, LoadedImage* out) {
    BmpLayout layout;
    if (!bmp_parse(data, size, &layout)) return false;
    int32_t rows = layout.height < 0 ? -layout.height : layout.height;
    // Always bottom-up: a file stored top-down is turned upright by the copy below.
    HBITMAP bitmap = image_create_dib(layout.width, rows, layout.bit_count);
    if (!bitmap) return false;
    DIBSECTION section;
    HDC dc = CreateCompatibleDC(0);
    bool copied = dc && GetObjectA(bitmap, sizeof section, &section) == sizeof section &&
                  SetDIBits(dc, bitmap, 0, (UINT)rows, data + layout.pixel_offset,
                            (const BITMAPINFO*)(data + BMP_FILE_HEADER_SIZE), DIB_RGB_COLORS);
    if (dc) DeleteDC(dc);
    if (!copied) {
        dib_section_release(bitmap);
        return false;
    }
    if (section.dsBm.bmBitsPixel == 32)
        alpha_make_opaque_if_unused((uint8_t*)section.dsBm.bmBits, layout.width, rows);
    loaded_from_bitmap(out, bitmap, &section.dsBm);
    out->source_depth = layout.bit_count;
    out->format_code = IMAGE_FORMAT_BMP;
    return true;
}

HICON icon_from_memory(const uint8_t* data, uint32_t size) {
    IconImage image;
    if (!icon_choose(data, size, &image)) return 0;
    // A copy of its own: the system wants the image aligned, and the data need not be.
    uint8_t* block = (uint8_t*)image_memory_alloc((int32_t)image.size, MEMORY_NO_CLEAR);
    if (!block) return 0;
    memcpy(block, data + image.offset, image.size);
    HICON icon = 0;
    // A PNG image has no info header to take a size from; the plain call sizes it.
    if (!image.is_png)
        icon = CreateIconFromResourceEx(block, image.size, TRUE, 0x00030000, image.desired_width,
                                        image.desired_height, LR_DEFAULTCOLOR);
    if (!icon && image.bit_count != 16)
        icon = CreateIconFromResource(block, image.size, TRUE, 0x00030000);
    memory_free(block);
    return icon;
}

// Takes the icon, which goes on failure: its bitmaps must describe it.
static bool icon_read(HICON icon, LoadedImage* out) {
    ICONINFO info;
    if (!GetIconInfo(icon, &info)) {
        DestroyIcon(icon);
        return false;
    }
    // A monochrome icon has no colour bitmap: its mask holds the picture above the mask.
    BITMAP description;
    bool described = false;
    if (info.hbmColor) {
        described = GetObjectA(info.hbmColor, sizeof description, &description) != 0;
    } else if (info.hbmMask && GetObjectA(info.hbmMask, sizeof description, &description)) {
        description.bmHeight /= 2;
        described = true;
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (!described) {
        DestroyIcon(icon);
        return false;
    }
    out->handle = icon;
    out->width = description.bmWidth;
    out->height = description.bmHeight;
    out->depth = description.bmBitsPixel;
    out->source_depth = description.bmBitsPixel;
    out->format_code = IMAGE_FORMAT_ICON;
    return true;
}

static bool decoder_depth_known(int32_t depth) {
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

static bool decoders_read(const uint8_t* data, uint32_t size, LoadedImage* out) {
    ImageDecodeRequest* request = image_decode_request;
    const ImageDecoder* decoder = image_decoder_find(request, data, size);
    if (!decoder) return false;
    HBITMAP bitmap = 0;
    DIBSECTION section;
    // The sides must fit the image record; the depth must be one whose rows we can size.
    if (request->width >= 1 && request->width <= IMAGE_MAX_SIDE && request->height >= 1 &&
        request->height <= IMAGE_MAX_SIDE && decoder_depth_known(request->depth))
        // A decoder writes every row: the pixels need not be cleared first.
        bitmap = dib_section_create(request->width, request->height, request->depth, DIB_WRITTEN);
    if (bitmap &&
        (GetObjectA(bitmap, sizeof section, &section) != sizeof section ||
         !decoder->decode(request, (uint8_t*)section.dsBm.bmBits,
                          dib_row_bytes(request->width, request->depth), IMAGE_BOTTOM_UP))) {
        dib_section_release(bitmap);
        bitmap = 0;
    }
    // Taken before finish, which drops what a decoder published and no one took.
    if (bitmap) {
        out->properties = image_properties_decoded;
        image_properties_decoded = 0;
    }
    decoder->finish(request);
    if (!request->from_memory && request->stream) fclose(request->stream);
    request->stream = 0;
    if (!bitmap) return false;
    loaded_from_bitmap(out, bitmap, &section.dsBm);
    out->source_depth = request->source_depth;
    out->format_code = decoder->format_code;
    return true;
}

// Sides beyond the record's 16-bit fields are refused rather than cut.
static bool fill_record(ImageObject* record, const LoadedImage* loaded) {
    if (loaded->width < 1 || loaded->width > IMAGE_MAX_SIDE || loaded->height < 1 ||
        loaded->height > IMAGE_MAX_SIDE)
        return false;
    record->handle = loaded->handle;
    record->width = (int16_t)loaded->width;
    record->height = (int16_t)loaded->height;
    record->depth = (uint8_t)loaded->depth;
    record->source_depth = (int8_t)loaded->source_depth;
    record->format_code = loaded->format_code;
    return true;
}

static void loaded_release(const LoadedImage* loaded) {
    if (GetObjectType(loaded->handle) == OBJ_BITMAP)
        dib_section_release((HBITMAP)loaded->handle);
    else
        DestroyIcon((HICON)loaded->handle);
}

int32_t image_load_memory(int32_t number, const void* data, uint32_t size) {
    // Reserving the number frees the image it held, whatever this load's outcome.
    ImageObject* record = (ImageObject*)registry_allocate(image_registry, number);
    if (!record) return 0;
    int32_t identity = number == -1 ? registry_identity(record) : number;
    // Nothing of the number's last picture may travel with this one.
    image_properties_keep(identity, 0);
    const uint8_t* bytes = (const uint8_t*)data;
    LoadedImage loaded = {};
    bool ok = false;
    if (bytes) {
        if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
            ok = bmp_read(bytes, size, &loaded);
        else if (HICON icon = icon_from_memory(bytes, size))
            ok = icon_read(icon, &loaded);  // an icon that cannot be read ends the load
        else
            ok = decoders_read(bytes, size, &loaded);
    }
    if (ok && !fill_record(record, &loaded)) {
        loaded_release(&loaded);
        ok = false;
    }
    // What the decoder found goes with its picture, and only with it.
    if (ok) image_properties_keep(identity, loaded.properties);
    else image_properties_free(loaded.properties);
    if (!ok) {
        if (number == -1) registry_free(image_registry, identity);
        return 0;
    }
    return number == -1 ? identity : (int32_t)(intptr_t)record->handle;
}

// The block files are read into, kept from one load to the next: a batch reads file
// after file of like sizes, and a fresh block of a few megabytes costs a page fault per
// 4 KB each time. It grows to the largest file up to FILE_BLOCK_KEPT; a larger file gets
// a block of its own for that load. While a load reads from it, it is not given back.
static void* file_block;
static uint32_t file_block_size;
static bool file_block_busy;
static const uint32_t FILE_BLOCK_KEPT = 64u << 20;

static void* file_block_for(uint32_t size) {
    if (file_block && size <= file_block_size) return file_block;
    void* block = image_memory_alloc((int32_t)size, MEMORY_NO_CLEAR);
    if (!block || size > FILE_BLOCK_KEPT) return block;
    if (file_block) memory_free(file_block);
    file_block = block;
    file_block_size = size;
    return block;
}

int32_t image_load_release(void) {
    if (!file_block || file_block_busy) return 0;
    memory_free(file_block);
    file_block = 0;
    file_block_size = 0;
    return 1;
}

int32_t image_load(int32_t number, const char* file_name, int32_t) {
    HANDLE file = CreateFileA(file_name, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    void* buffer = 0;
    // An empty file fails here as its block of 0 bytes would: the number keeps its image.
    if (size != INVALID_FILE_SIZE && high == 0 && size > 0 && size <= INT32_MAX)
        buffer = file_block_for(size);
    int32_t result = 0;
    DWORD read = 0;
    if (buffer && ReadFile(file, buffer, size, &read, 0) && read == size) {
        file_block_busy = buffer == file_block;
        result = image_load_memory(number, buffer, size);
        file_block_busy = false;
    }
    if (buffer && buffer != file_block) memory_free(buffer);
    CloseHandle(file);
    return result;
}

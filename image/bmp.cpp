// BMP and icon headers checked against the data length, and the BMP writer.
#include "image/bmp.h"

#include <string.h>

#include "image/codec.h"
#include "image/kept.h"
#include "image/pixels.h"
#include "image/quantiser.h"
#include "runtime/memory.h"

enum { BI_RGB_ = 0, BI_RLE8_ = 1, BI_RLE4_ = 2, BI_BITFIELDS_ = 3 };

static uint32_t read16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
static uint32_t read32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
static void write16(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
static void write32(uint8_t* p, uint32_t v) {
    write16(p, v);
    write16(p + 2, v >> 16);
}

// The fields of a DIB info header that decide how many bytes the system reads.
struct DibHeader {
    uint32_t header_size;
    int32_t width;
    int32_t height;
    int32_t bit_count;
    uint32_t compression;
    uint32_t image_size;
    uint32_t table_bytes;  // colour masks and palette after the header
};

static bool is_dib_bit_count(int32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Reads the info header at info, with available bytes from there to the end of the
// data; checks the header and its colour table lie within them.
static bool dib_header_read(const uint8_t* info, uint32_t available, DibHeader* h) {
    if (available < BMP_INFO_HEADER_SIZE) return false;
    h->header_size = read32(info);
    h->width = (int32_t)read32(info + 4);
    h->height = (int32_t)read32(info + 8);
    h->bit_count = (int32_t)read16(info + 14);
    h->compression = read32(info + 16);
    h->image_size = read32(info + 20);
    uint32_t colours_used = read32(info + 32);
    if (h->header_size < BMP_INFO_HEADER_SIZE || h->header_size > available) return false;
    if (!is_dib_bit_count(h->bit_count)) return false;
    switch (h->compression) {
    case BI_RGB_: break;
    case BI_RLE8_: if (h->bit_count != 8) return false; break;
    case BI_RLE4_: if (h->bit_count != 4) return false; break;
    case BI_BITFIELDS_: if (h->bit_count != 16 && h->bit_count != 32) return false; break;
    default: return false;
    }
    // The three colour masks sit at bytes 40 to 52 of the info: after a plain 40-byte
    // header, inside the headers of 52 bytes and more. The system reads them there for
    // any header size, so a header between the two is followed by the masks' rest.
    uint32_t masks_end = BMP_INFO_HEADER_SIZE + 12;
    uint32_t masks = h->compression == BI_BITFIELDS_ && h->header_size < masks_end
                         ? masks_end - h->header_size
                         : 0;
    uint32_t colours = colours_used < 256 ? colours_used : 256;
    if (colours == 0 && h->bit_count <= 8) colours = 1u << h->bit_count;
    h->table_bytes = masks + 4 * colours;
    return (uint64_t)h->header_size + h->table_bytes <= available;
}

static bool side_fits(int32_t side) {
    return side >= 1 && side <= IMAGE_MAX_SIDE;
}

int32_t bmp_parse(const uint8_t* data, uint32_t size, BmpLayout* layout) {
    if (!data || size < BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE) return 0;
    if (data[0] != 'B' || data[1] != 'M') return 0;
    DibHeader h;
    if (!dib_header_read(data + BMP_FILE_HEADER_SIZE, size - BMP_FILE_HEADER_SIZE, &h)) return 0;
    if (!side_fits(h.width) || h.height == 0 || h.height < -IMAGE_MAX_SIDE || h.height > IMAGE_MAX_SIDE)
        return 0;
    int32_t rows = h.height < 0 ? -h.height : h.height;
    uint64_t pixel_bytes;
    if (h.compression == BI_RLE8_ || h.compression == BI_RLE4_) {
        // Run-length data has no fixed size: the header must give it, and rows go upwards.
        if (h.height < 0 || h.image_size == 0) return 0;
        pixel_bytes = h.image_size;
    } else {
        pixel_bytes = (uint64_t)dib_row_bytes(h.width, h.bit_count) * (uint64_t)rows;
    }
    uint32_t pixel_offset = read32(data + 10);
    if ((uint64_t)pixel_offset + pixel_bytes > size) return 0;
    layout->width = h.width;
    layout->height = h.height;
    layout->bit_count = h.bit_count;
    layout->compression = h.compression;
    layout->info_bytes = h.header_size + h.table_bytes;
    layout->pixel_offset = pixel_offset;
    layout->pixel_bytes = (uint32_t)pixel_bytes;
    return 1;
}

// An icon image is a DIB of colour rows followed by mask rows, the height counting both;
// or, in newer files, a PNG stream.
static bool icon_image_check(const uint8_t* image, uint32_t size, IconImage* out) {
    static const uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= sizeof png_signature && memcmp(image, png_signature, sizeof png_signature) == 0) {
        out->is_png = 1;
        out->desired_width = 0;
        out->desired_height = 0;
        return true;
    }
    DibHeader h;
    if (!dib_header_read(image, size, &h)) return false;
    if (h.compression != BI_RGB_ && h.compression != BI_BITFIELDS_) return false;
    if (!side_fits(h.width) || h.height < 2 || !side_fits(h.height / 2)) return false;
    uint64_t rows = (uint64_t)(h.height / 2);
    uint64_t needed = (uint64_t)h.header_size + h.table_bytes +
                      (uint64_t)dib_row_bytes(h.width, h.bit_count) * rows +
                      (uint64_t)dib_row_bytes(h.width, 1) * rows;
    if (needed > size) return false;
    out->is_png = 0;
    out->desired_width = h.width;
    out->desired_height = h.height / 2;
    return true;
}

int32_t icon_choose(const uint8_t* data, uint32_t size, IconImage* image) {
    enum { HEADER = 6, ENTRY = 16 };
    if (!data || size < HEADER) return 0;
    if (read16(data) != 0 || read16(data + 2) != 1) return 0;
    uint32_t count = read16(data + 4);
    if (count == 0 || HEADER + (uint64_t)ENTRY * count > size) return 0;

    const uint8_t* entries = data + HEADER;
    uint32_t best = 0;
    uint32_t best_bits = read16(entries + 6);
    for (uint32_t i = 1; i < count; i++) {
        const uint8_t* e = entries + ENTRY * i;
        if (e[0] == entries[0] && e[1] == entries[1] && read16(e + 6) > best_bits) {
            best = i;
            best_bits = read16(e + 6);
        }
    }
    const uint8_t* chosen = entries + ENTRY * best;
    uint32_t bytes = read32(chosen + 8);
    uint32_t offset = read32(chosen + 12);
    if (bytes == 0 || (uint64_t)offset + bytes > size) return 0;
    if (!icon_image_check(data + offset, bytes, image)) return 0;
    image->offset = offset;
    image->size = bytes;
    image->bit_count = (int32_t)best_bits;
    return 1;
}

int32_t bmp_write_layout(int32_t width, int32_t height, int32_t pixel_depth, int32_t depth,
                         BmpWriteLayout* layout) {
    if (width < 1 || height < 1 || (pixel_depth != 24 && pixel_depth != 32)) return 0;
    uint64_t row;
    uint32_t entries = 0;
    switch (depth) {
    case 1: row = ((uint64_t)width + 7) / 8; entries = 2; break;
    case 4: row = ((uint64_t)width + 1) / 2; entries = 16; break;
    case 8: row = (uint64_t)width; entries = 256; break;
    case 24: row = (uint64_t)width * 3; break;
    case 32: row = (uint64_t)width * 4; break;
    default: return 0;
    }
    row = (row + 3) / 4 * 4;
    uint64_t header = BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE + 4 * entries;
    uint64_t file = header + row * (uint64_t)height;
    if (file > UINT32_MAX) return 0;
    layout->row_size = (uint32_t)row;
    layout->palette_entries = entries;
    layout->header_size = (uint32_t)header;
    layout->file_size = (uint32_t)file;
    return 1;
}

static void headers_fill(uint8_t* h, const BmpWriteLayout* layout, int32_t width, int32_t height,
                         int32_t depth) {
    memset(h, 0, BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE);
    h[0] = 'B';
    h[1] = 'M';
    write32(h + 2, layout->file_size);
    write32(h + 10, layout->header_size);
    uint8_t* info = h + BMP_FILE_HEADER_SIZE;
    write32(info, BMP_INFO_HEADER_SIZE);
    write32(info + 4, (uint32_t)width);
    write32(info + 8, (uint32_t)height);
    write16(info + 12, 1);
    write16(info + 14, (uint32_t)depth);
    write32(info + 20, layout->file_size - layout->header_size);
}

// Rows in file order: the bottom row first, which is memory row 0 for bottom-up pixels.
static int32_t memory_row(int32_t i, int32_t height, int32_t flags) {
    return (flags & IMAGE_BOTTOM_UP) ? i : height - 1 - i;
}

static bool write_palette_rows(const BmpSink* sink, const BmpWriteLayout* layout,
                               const uint8_t* pixels, int32_t pitch, int32_t width,
                               int32_t height, int32_t pixel_depth, int32_t flags,
                               int32_t options, int32_t depth) {
    Quantiser* q = quantiser_create(pixels, width, height, pixel_depth, pitch, depth, options);
    if (!q) return false;
    uint8_t palette[256][4];
    for (uint32_t i = 0; i < layout->palette_entries; i++) {
        memcpy(palette[i], q->palette[i], 3);
        palette[i][3] = 0;
    }
    bool ok = sink->write(sink->context, palette, 4 * layout->palette_entries) != 0;
    for (int32_t i = 0; ok && i < height; i++)
        ok = sink->write(sink->context, quantiser_row(q, memory_row(i, height, flags)),
                         layout->row_size) != 0;
    quantiser_free(q);
    return ok;
}

static bool write_pixel_rows(const BmpSink* sink, const BmpWriteLayout* layout,
                             const uint8_t* pixels, int32_t pitch, int32_t width, int32_t height,
                             int32_t pixel_depth, int32_t flags, int32_t depth) {
    if (pixel_depth == depth && (flags & IMAGE_BOTTOM_UP) && (uint32_t)pitch == layout->row_size)
        return sink->write(sink->context, pixels, layout->row_size * (uint32_t)height) != 0;
    uint8_t* row = (uint8_t*)image_memory_alloc((int32_t)layout->row_size, 0);
    if (!row) return false;
    bool ok = true;
    for (int32_t i = 0; ok && i < height; i++) {
        const uint8_t* in = pixels + (size_t)memory_row(i, height, flags) * pitch;
        pixel_row_flatten(row, depth / 8, in, pixel_depth, width);
        ok = sink->write(sink->context, row, layout->row_size) != 0;
    }
    memory_free(row);
    return ok;
}

int32_t bmp_encode(const BmpSink* sink, const uint8_t* pixels, int32_t pitch, int32_t width,
                   int32_t height, int32_t pixel_depth, int32_t flags, int32_t options,
                   int32_t depth) {
    BmpWriteLayout layout;
    if (!pixels || !bmp_write_layout(width, height, pixel_depth, depth, &layout)) return 0;
    uint8_t headers[BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE];
    headers_fill(headers, &layout, width, height, depth);
    if (!sink->write(sink->context, headers, BMP_FILE_HEADER_SIZE) ||
        !sink->write(sink->context, headers + BMP_FILE_HEADER_SIZE, BMP_INFO_HEADER_SIZE))
        return 0;
    bool ok = depth <= 8 ? write_palette_rows(sink, &layout, pixels, pitch, width, height,
                                              pixel_depth, flags, options, depth)
                         : write_pixel_rows(sink, &layout, pixels, pitch, width, height,
                                            pixel_depth, flags, depth);
    return ok ? 1 : 0;
}

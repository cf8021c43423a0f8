// BMP and icon file layouts, platform-neutral: reading a file's headers and checking
// every offset, size and count against the length of the data before anything is used;
// choosing the image of an icon file; writing BMP files through a sink.
//
// The system's calls (image/load.cpp) are only ever given ranges these checks accepted.
#ifndef VANTOREL_IMAGE_BMP_H
#define VANTOREL_IMAGE_BMP_H

#include <stdint.h>

enum {
    BMP_FILE_HEADER_SIZE = 14,
    BMP_INFO_HEADER_SIZE = 40,
    IMAGE_MAX_SIDE = 32767,  // image sides are kept in 16 bits
};

// Where the system will read a BMP file's parts. All ranges lie within the data.
struct BmpLayout {
    int32_t width;
    int32_t height;  // as stored: negative when the rows are stored top-down
    int32_t bit_count;
    uint32_t compression;
    uint32_t info_bytes;    // info header, colour masks and palette, from offset 14
    uint32_t pixel_offset;
    uint32_t pixel_bytes;
};

// 1 when data holds a BMP file whose picture the system can take: sides of 1 to 32767,
// an uncompressed, bit-field or run-length layout, and every part within size bytes.
int32_t bmp_parse(const uint8_t* data, uint32_t size, BmpLayout* layout);

// The image chosen from an icon file. All ranges lie within the data.
struct IconImage {
    uint32_t offset;
    uint32_t size;
    int32_t bit_count;       // from the directory entry
    int32_t is_png;          // the image is a PNG stream rather than a DIB
    int32_t desired_width;   // the DIB's own width (0 for PNG)
    int32_t desired_height;  // half the DIB's height, which counts colour and mask rows
};

// 1 when data is an icon file (reserved 0, type 1) with at least one entry; chooses the
// entry of the first entry's size with the most bits per pixel (the earlier on ties)
// and checks its image. 0 for anything else, cursors included.
int32_t icon_choose(const uint8_t* data, uint32_t size, IconImage* image);

// The shape of a BMP file the writer makes.
struct BmpWriteLayout {
    uint32_t row_size;  // bytes per row, a multiple of 4
    uint32_t palette_entries;
    uint32_t header_size;  // file and info headers and palette
    uint32_t file_size;
};

// 0 when BMP cannot be written: a target depth other than 1, 4, 8, 24 or 32, pixels
// other than 24 or 32 bits, a side below 1, or a file beyond 32-bit sizes.
int32_t bmp_write_layout(int32_t width, int32_t height, int32_t pixel_depth, int32_t depth,
                         BmpWriteLayout* layout);

// Where bmp_encode puts the bytes: write returns 1 when all of them were written.
struct BmpSink {
    int32_t (*write)(void* context, const void* data, uint32_t size);
    void* context;
};

// Writes a whole BMP file to the sink: headers, the quantiser's palette and indices for
// 1, 4 and 8 bits, pixels for 24 and 32 bits. Rows are taken bottom-up from memory
// when flags has IMAGE_BOTTOM_UP. 1 when every byte was written.
int32_t bmp_encode(const BmpSink* sink, const uint8_t* pixels, int32_t pitch, int32_t width,
                   int32_t height, int32_t pixel_depth, int32_t flags, int32_t options,
                   int32_t depth);

#endif

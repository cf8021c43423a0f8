// Picture makers for the image tests: BMP and icon files built byte by byte, independent
// of the library's own writer, a plain reader of uncompressed BMP files to check what
// the writer made, and a corpus of damaged files cut and flipped from valid ones.
//
// Pixels are 0xAARRGGBB values, the top row first; at 8 bits and below they are
// palette indices.
#ifndef VANTOREL_TESTS_SUPPORT_PICTURES_H
#define VANTOREL_TESTS_SUPPORT_PICTURES_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

typedef std::vector<uint8_t> Bytes;

struct TestPicture {
    int32_t width;
    int32_t height;
    std::vector<uint32_t> pixels;  // width * height, top row first

    uint32_t at(int32_t x, int32_t y) const { return pixels[(size_t)y * width + x]; }
};

enum { TEST_BI_RGB = 0, TEST_BI_RLE8 = 1, TEST_BI_RLE4 = 2, TEST_BI_BITFIELDS = 3 };

struct TestBmp {
    TestPicture picture;
    int32_t bit_count;
    std::vector<uint32_t> palette;  // 0x00RRGGBB, written as blue, green, red, 0
    bool top_down = false;
    uint32_t compression = TEST_BI_RGB;
};

// A whole BMP file: 14-byte file header, 40-byte info header (colours used = the
// palette's size), colour masks for bit fields, palette, pixel rows.
Bytes test_bmp_file(const TestBmp& bmp);

struct TestIconEntry {
    TestPicture picture;  // palette indices at 8 bits and below
    int32_t bit_count;
    std::vector<uint32_t> palette;
};

// An icon file (type 1) or cursor file (type 2) whose images are DIBs with an AND mask
// (all opaque).
Bytes test_icon_file(const std::vector<TestIconEntry>& entries, uint16_t type = 1);

// A picture of distinct colours, opaque unless alpha is given.
TestPicture test_picture_gradient(int32_t width, int32_t height, uint8_t alpha = 255);
TestPicture test_picture_filled(int32_t width, int32_t height, uint32_t colour);
// Palette indices cycling through count values.
TestPicture test_picture_indices(int32_t width, int32_t height, uint32_t count);
std::vector<uint32_t> test_palette(uint32_t count);

// Reads an uncompressed BMP file of 1, 4, 8, 24 or 32 bits into 0xAARRGGBB pixels
// (alpha 255 below 32 bits); false when it is not one.
bool test_bmp_read(const Bytes& file, TestPicture* picture, int32_t* bit_count,
                   std::vector<uint32_t>* palette);

// Squared distance of two colours' red, green and blue in the quantiser's gamma space
// (each byte v taken as floor(255 * (v / 255)^(1 / 1.8) + 0.5)).
double test_gamma_distance(uint32_t a, uint32_t b);
// 1 when no palette colour lies nearer to the pixel in that space than the chosen one.
bool test_gamma_nearest(uint32_t pixel, uint32_t chosen, const std::vector<uint32_t>& palette);

// Valid files of every kind the readers take, then thousands of variants: every
// truncation, single bytes of the headers set to hostile values, and seeded random
// corruption.
std::vector<Bytes> test_valid_files(void);
std::vector<Bytes> test_hostile_corpus(void);

#endif

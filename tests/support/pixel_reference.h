// Plain references for the picture path's pixel work, written the straightforward way,
// one pixel at a time: the library's fast paths must give exactly their bytes. Also
// photograph-like JPEG pictures of every kind libjpeg makes, to run them on.
//
// Pixel buffers are blue, green, red (and alpha at 4 channels), rows stride bytes apart,
// the bottom row first as in a DIB.
#ifndef VANTOREL_TESTS_SUPPORT_PIXEL_REFERENCE_H
#define VANTOREL_TESTS_SUPPORT_PIXEL_REFERENCE_H

#include <stdint.h>
#include <stdio.h>

#include <vector>

#include <jpeglib.h>

typedef std::vector<uint8_t> Bytes;

struct TestJpegKind {
    int32_t width;
    int32_t height;
    J_COLOR_SPACE file_space;  // JCS_YCbCr, JCS_GRAYSCALE, JCS_RGB, JCS_CMYK or JCS_YCCK
    int32_t h_sampling;        // of the first component: 1 or 2
    int32_t v_sampling;
    bool progressive;
    int32_t restart_rows;  // 0: no restart markers
    int32_t quality;
};

// A picture of smooth gradients, fine noise and hard edges in that kind; seed varies it.
Bytes test_jpeg_photo(const TestJpegKind& kind, uint32_t seed);

// A bottom-up 24-bit pixel buffer of the same kind of content, rows padded to stride.
Bytes test_photo_pixels(int32_t width, int32_t height, int32_t stride, uint32_t seed);

// The decoder as first written: libjpeg's red, green, blue (or CMYK) scanlines one at a
// time into a sample row, each pixel turned into blue, green, red by hand (CMYK as
// Y*K/255, M*K/255, C*K/255), the top scanline into the last row. The bytes between
// rows are left as they were. pixels must hold height rows; width and height are
// reported. false when libjpeg refuses the data.
bool reference_jpeg_decode(const Bytes& jpeg, uint8_t* pixels, int32_t stride, int32_t* width,
                           int32_t* height);
// The size of a JPEG picture, (0, 0) when libjpeg refuses its header.
void reference_jpeg_size(const Bytes& jpeg, int32_t* width, int32_t* height);

// The encoder as first written: each row, top first, copied into a row buffer with its
// bytes swapped to red, green, blue, at libjpeg's defaults and that quality.
Bytes reference_jpeg_encode(const uint8_t* pixels, int32_t width, int32_t height, int32_t stride,
                            int32_t quality);

// The halftone stretch measured pixel by pixel: every target pixel the round-half-up
// mean of the source pixels, each weighted by the exact area it shares with it. The
// first form gives one channel of one target pixel, the second the whole target.
uint8_t reference_halftone_at(const uint8_t* source, int32_t source_width, int32_t source_height,
                              int32_t source_stride, int32_t target_width, int32_t target_height,
                              int32_t channels, int32_t x, int32_t y, int32_t channel);
void reference_halftone(const uint8_t* source, int32_t source_width, int32_t source_height,
                        int32_t source_stride, uint8_t* target, int32_t target_width,
                        int32_t target_height, int32_t target_stride, int32_t channels);

#endif

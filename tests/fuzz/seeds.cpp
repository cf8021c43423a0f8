// Seeds: BMP and icon files from the picture makers, JPEG files written by libjpeg in
// every colour space, sampling and coding the decoder meets, quantiser inputs of each
// depth and option.
#include "tests/fuzz/seeds.h"

#include <string.h>

#include "tests/fuzz/entries.h"
#include "tests/support/jpeg_maker.h"

namespace {

struct JpegShape {
    int width;
    int height;
    J_COLOR_SPACE input;  // JCS_GRAYSCALE, JCS_RGB or JCS_CMYK
    J_COLOR_SPACE stored;
    int h_sampling;       // of the first component; 1 for 4:4:4
    int v_sampling;
    bool progressive;
    bool arithmetic;
    int restart_rows;
};

// A gradient picture in the shape's input colour space, written by libjpeg.
Bytes jpeg_file(const JpegShape& shape) {
    int components = shape.input == JCS_GRAYSCALE ? 1 : shape.input == JCS_CMYK ? 4 : 3;
    JpegMake make{shape.width, shape.height, components, shape.input, shape.stored, 75, {}};
    for (uint32_t p : test_picture_gradient(shape.width, shape.height).pixels) {
        uint8_t channel[4] = {(uint8_t)(p >> 16), (uint8_t)(p >> 8), (uint8_t)p, (uint8_t)(p >> 3)};
        make.samples.insert(make.samples.end(), channel, channel + components);
    }
    make.progressive = shape.progressive;
    make.arithmetic = shape.arithmetic;
    make.restart_rows = shape.restart_rows;
    make.sampling = {{shape.h_sampling, shape.v_sampling}};
    // Black at 2x2, as libjpeg's own YCCK settings have it.
    if (shape.stored == JCS_YCCK) make.sampling.insert(make.sampling.end(), {{1, 1}, {1, 1}, {2, 2}});
    return jpeg_make(make);
}

std::vector<Bytes> jpeg_seeds(void) {
    static const JpegShape shapes[] = {
        {8, 8, JCS_GRAYSCALE, JCS_GRAYSCALE, 1, 1, false, false, 0},
        {1, 1, JCS_GRAYSCALE, JCS_GRAYSCALE, 1, 1, false, false, 0},
        {16, 16, JCS_RGB, JCS_YCbCr, 2, 2, false, false, 0},
        {17, 9, JCS_RGB, JCS_YCbCr, 2, 1, false, false, 1},
        {13, 11, JCS_RGB, JCS_YCbCr, 1, 1, true, false, 0},
        {24, 3, JCS_GRAYSCALE, JCS_GRAYSCALE, 1, 1, true, false, 0},
        {16, 8, JCS_RGB, JCS_YCbCr, 2, 2, false, true, 0},
        {9, 9, JCS_RGB, JCS_YCbCr, 2, 2, true, true, 0},
        {8, 8, JCS_RGB, JCS_RGB, 1, 1, false, false, 0},
        {8, 8, JCS_CMYK, JCS_CMYK, 1, 1, false, false, 0},
        {10, 6, JCS_CMYK, JCS_YCCK, 2, 2, false, false, 0},
        {33, 2, JCS_RGB, JCS_YCbCr, 4, 1, false, false, 0},
    };
    std::vector<Bytes> seeds;
    for (const JpegShape& shape : shapes) seeds.push_back(jpeg_file(shape));
    // What a picture carries: Exif in both byte orders, one cut short, a chunked profile.
    Bytes profile(200, 9), cut = jpeg_exif(true, 8, 2, 0x0112, 3, 0);
    memcpy(profile.data() + 16, "RGB ", 4);
    seeds.push_back(jpeg_with_segments(seeds[2], 2, {{0xE1, jpeg_exif(false, 8, 1, 0x0112, 6, 8)},
        {0xE2, jpeg_icc_chunk(2, 2, Bytes(90, 7))}, {0xE2, jpeg_icc_chunk(1, 2, profile)}}));
    seeds.push_back(jpeg_with_segments(seeds[0], 2, {{0xE1, jpeg_exif(true, 8, 1, 0x0112, 8, 0)}}));
    seeds.push_back(jpeg_with_segments(seeds[3], 2, {{0xE1, Bytes(cut.begin(), cut.end() - 6)}}));
    return seeds;
}

// Each depth, source depth and option on pictures of a few shapes, one with padded rows.
std::vector<Bytes> quantiser_seeds(void) {
    static const FuzzQuantiserInput inputs[] = {
        {7, 5, 1, 0, 0},
        {9, 6, 4, 0, 3},
        {16, 16, 8, 0, 0},
        {12, 10, 8, FUZZ_QUANTISER_DITHER, 0},
        {11, 7, 4, FUZZ_QUANTISER_DITHER | FUZZ_QUANTISER_32_BITS, 0},
        {10, 10, 8, FUZZ_QUANTISER_32_BITS, 4},
        {1, 1, 8, 0, 0},
        {64, 2, 4, FUZZ_QUANTISER_32_BITS, 0},
    };
    std::vector<Bytes> seeds;
    uint8_t alpha = 255;
    for (const FuzzQuantiserInput& input : inputs) {
        Bytes seed(FUZZ_QUANTISER_HEADER);
        fuzz_quantiser_header(&input, seed.data());
        TestPicture picture = test_picture_gradient(input.width, input.height, alpha);
        alpha = (uint8_t)(alpha - 60);
        int bytes = (input.flags & FUZZ_QUANTISER_32_BITS) ? 4 : 3;
        for (int32_t y = 0; y < input.height; y++) {
            for (int32_t x = 0; x < input.width; x++) {
                uint32_t p = picture.at(x, y);
                for (int b = 0; b < bytes; b++) seed.push_back((uint8_t)(p >> (8 * b)));
            }
            seed.insert(seed.end(), (size_t)input.pitch_padding, 0);
        }
        seeds.push_back(seed);
    }
    return seeds;
}

// The picture makers' valid files: BMP files for one target, icon files for the other.
std::vector<Bytes> valid_files(bool bmp) {
    std::vector<Bytes> files;
    for (const Bytes& file : test_valid_files())
        if ((file.size() >= 2 && file[0] == 'B' && file[1] == 'M') == bmp) files.push_back(file);
    return files;
}

}  // namespace

std::vector<Bytes> fuzz_seeds(const char* target) {
    if (strcmp(target, "jpeg_decoder") == 0) return jpeg_seeds();
    if (strcmp(target, "bmp") == 0) return valid_files(true);
    if (strcmp(target, "icon") == 0) return valid_files(false);
    if (strcmp(target, "quantiser") == 0) return quantiser_seeds();
    return std::vector<Bytes>();
}

// Seeds: BMP and icon files from the picture makers, JPEG files written by libjpeg in
// every colour space, sampling and coding the decoder meets, quantiser inputs of each
// depth and option.
#include "tests/fuzz/seeds.h"

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>

#include "tests/fuzz/entries.h"

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

struct JumpingErrors {
    jpeg_error_mgr manager;
    jmp_buf back;
};

void jump_back(j_common_ptr cinfo) {
    longjmp(((JumpingErrors*)cinfo->err)->back, 1);
}

// A gradient picture in the shape's input colour space, written by libjpeg.
Bytes jpeg_file(const JpegShape& shape) {
    int components = shape.input == JCS_GRAYSCALE ? 1 : shape.input == JCS_CMYK ? 4 : 3;
    TestPicture picture = test_picture_gradient(shape.width, shape.height);
    std::vector<uint8_t> samples;
    for (uint32_t p : picture.pixels) {
        uint8_t channel[4] = {(uint8_t)(p >> 16), (uint8_t)(p >> 8), (uint8_t)p, (uint8_t)(p >> 3)};
        samples.insert(samples.end(), channel, channel + components);
    }
    jpeg_compress_struct cinfo;
    JumpingErrors errors;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jump_back;
    unsigned char* encoded = 0;
    unsigned long encoded_size = 0;
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&cinfo);
        free(encoded);
        return Bytes();
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &encoded, &encoded_size);
    cinfo.image_width = (JDIMENSION)shape.width;
    cinfo.image_height = (JDIMENSION)shape.height;
    cinfo.input_components = components;
    cinfo.in_color_space = shape.input;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, shape.stored);
    jpeg_set_quality(&cinfo, 75, TRUE);
    cinfo.comp_info[0].h_samp_factor = shape.h_sampling;
    cinfo.comp_info[0].v_samp_factor = shape.v_sampling;
    if (shape.progressive) jpeg_simple_progression(&cinfo);
    cinfo.arith_code = shape.arithmetic ? TRUE : FALSE;
    cinfo.restart_in_rows = shape.restart_rows;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = samples.data() + (size_t)cinfo.next_scanline * shape.width * components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes file(encoded, encoded + encoded_size);
    free(encoded);
    return file;
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

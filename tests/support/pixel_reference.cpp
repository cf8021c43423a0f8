// The plain references and the JPEG picture maker of pixel_reference.h.
#include "tests/support/pixel_reference.h"

#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

#include <jerror.h>

#include "tests/support/jpeg_maker.h"

namespace {

struct Errors {
    jpeg_error_mgr manager;
    jmp_buf back;
};

void jump_back(j_common_ptr cinfo) {
    longjmp(((Errors*)cinfo->err)->back, 1);
}

void say_nothing(j_common_ptr) {}

jpeg_error_mgr* errors_install(Errors* errors) {
    jpeg_std_error(&errors->manager);
    errors->manager.error_exit = jump_back;
    errors->manager.output_message = say_nothing;
    return &errors->manager;
}

uint32_t mix(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x9E3779B1u ^ y * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    return h ^ h >> 12;
}

// One channel of the photograph at (x, y): gradients and ripples, fine noise, and a
// few hard-edged blocks.
uint8_t photo_sample(int32_t x, int32_t y, int32_t width, int32_t height, int32_t channel,
                     uint32_t seed) {
    int32_t w = width > 1 ? width - 1 : 1, h = height > 1 ? height - 1 : 1;
    int32_t value;
    switch (channel % 4) {
        case 0: value = 255 * x / w; break;
        case 1: value = 255 * y / h; break;
        case 2: value = 128 + ((x * 7 + y * 3 + (int32_t)seed) % 64) - 32; break;
        default: value = 255 * (x + y) / (w + h); break;
    }
    value += (int32_t)(mix((uint32_t)x, (uint32_t)y, seed + (uint32_t)channel) % 25) - 12;
    if (((x / 13 + y / 11 + (int32_t)seed) % 7) == 0) value = channel % 2 ? 250 : 5;
    return (uint8_t)(value < 0 ? 0 : value > 255 ? 255 : value);
}

}  // namespace

Bytes test_photo_pixels(int32_t width, int32_t height, int32_t stride, uint32_t seed) {
    Bytes pixels((size_t)stride * height, 0);
    for (int32_t y = 0; y < height; y++) {
        uint8_t* row = &pixels[(size_t)(height - 1 - y) * stride];
        for (int32_t x = 0; x < width; x++)
            for (int32_t c = 0; c < 3; c++) row[x * 3 + c] = photo_sample(x, y, width, height, c, seed);
    }
    return pixels;
}

namespace {

// Compresses height rows into memory: set_up describes the picture on the fresh
// compression object, fill_row(y, row) makes row y. Empty when libjpeg refuses.
template <typename SetUp, typename FillRow>
Bytes compress_rows(SetUp set_up, FillRow fill_row) {
    jpeg_compress_struct cinfo;
    Errors errors;
    // libjpeg's memory destination: its address is taken, so it survives the long jump.
    unsigned char* buffer = 0;
    unsigned long size = 0;
    cinfo.err = errors_install(&errors);
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&cinfo);
        free(buffer);
        return Bytes();
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    set_up(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row((size_t)cinfo.image_width * cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        fill_row((int32_t)cinfo.next_scanline, row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes result(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    free(buffer);
    return result;
}

}  // namespace

Bytes test_jpeg_photo(const TestJpegKind& kind, uint32_t seed) {
    const bool grey = kind.file_space == JCS_GRAYSCALE;
    const bool ink = kind.file_space == JCS_CMYK || kind.file_space == JCS_YCCK;
    const int32_t components = grey ? 1 : ink ? 4 : 3;
    JpegMake make{kind.width, kind.height, components, grey ? JCS_GRAYSCALE : ink ? JCS_CMYK : JCS_RGB,
                  kind.file_space, kind.quality, {}};
    make.progressive = kind.progressive;
    make.restart_rows = kind.restart_rows;
    make.sampling = {{kind.h_sampling, kind.v_sampling}};
    for (int32_t y = 0; y < kind.height; y++)
        for (int32_t x = 0; x < kind.width; x++)
            for (int32_t c = 0; c < components; c++)
                make.samples.push_back(photo_sample(x, y, kind.width, kind.height, c, seed));
    return jpeg_make(make);
}

bool reference_jpeg_decode(const Bytes& jpeg, uint8_t* pixels, int32_t stride, int32_t* width,
                           int32_t* height) {
    jpeg_decompress_struct cinfo;
    Errors errors;
    cinfo.err = errors_install(&errors);
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    bool ink = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = ink ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    *width = (int32_t)cinfo.output_width;
    *height = (int32_t)cinfo.output_height;
    std::vector<JSAMPLE> samples((size_t)cinfo.output_width * cinfo.output_components);
    for (int32_t i = 0; i < *height; i++) {
        JSAMPROW rows[1] = {samples.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        uint8_t* out = pixels + (size_t)(*height - 1 - i) * stride;
        for (int32_t x = 0; x < *width; x++) {
            const JSAMPLE* in = &samples[(size_t)x * cinfo.output_components];
            if (ink) {
                unsigned k = in[3];
                out[3 * x] = (uint8_t)(in[2] * k / 255);
                out[3 * x + 1] = (uint8_t)(in[1] * k / 255);
                out[3 * x + 2] = (uint8_t)(in[0] * k / 255);
            } else {
                out[3 * x] = in[2];
                out[3 * x + 1] = in[1];
                out[3 * x + 2] = in[0];
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

void reference_jpeg_size(const Bytes& jpeg, int32_t* width, int32_t* height) {
    jpeg_decompress_struct cinfo;
    Errors errors;
    *width = *height = 0;
    cinfo.err = errors_install(&errors);
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&cinfo);
        *width = *height = 0;
        return;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    *width = (int32_t)cinfo.image_width;
    *height = (int32_t)cinfo.image_height;
    jpeg_destroy_decompress(&cinfo);
}

Bytes reference_jpeg_encode(const uint8_t* pixels, int32_t width, int32_t height, int32_t stride,
                            int32_t quality) {
    auto set_up = [&](j_compress_ptr cinfo) {
        cinfo->image_width = (JDIMENSION)width;
        cinfo->image_height = (JDIMENSION)height;
        cinfo->input_components = 3;
        cinfo->in_color_space = JCS_RGB;
        jpeg_set_defaults(cinfo);
        jpeg_set_quality(cinfo, quality, FALSE);
    };
    return compress_rows(set_up, [&](int32_t y, JSAMPLE* row) {
        const uint8_t* in = pixels + (size_t)(height - 1 - y) * stride;
        for (int32_t x = 0; x < width; x++) {
            row[3 * x] = in[3 * x + 2];
            row[3 * x + 1] = in[3 * x + 1];
            row[3 * x + 2] = in[3 * x];
        }
    });
}

uint8_t reference_halftone_at(const uint8_t* source, int32_t source_width, int32_t source_height,
                              int32_t source_stride, int32_t target_width, int32_t target_height,
                              int32_t channels, int32_t x, int32_t y, int32_t channel) {
    // Source pixel k spans [k * target, (k + 1) * target) along an axis, target pixel i
    // spans [i * source, (i + 1) * source): every overlap is a whole number.
    const int64_t sw = source_width, sh = source_height, tw = target_width, th = target_height;
    int64_t sum = 0;
    for (int64_t k = y * sh / th; k < sh && k * th < (y + 1) * sh; k++) {
        int64_t low = k * th > y * sh ? k * th : y * sh;
        int64_t high = (k + 1) * th < (y + 1) * sh ? (k + 1) * th : (y + 1) * sh;
        int64_t wy = high - low;
        for (int64_t m = x * sw / tw; m < sw && m * tw < (x + 1) * sw; m++) {
            low = m * tw > x * sw ? m * tw : x * sw;
            high = (m + 1) * tw < (x + 1) * sw ? (m + 1) * tw : (x + 1) * sw;
            sum += wy * (high - low) * source[k * source_stride + m * channels + channel];
        }
    }
    const int64_t area = sw * sh;
    return (uint8_t)((2 * sum + area) / (2 * area));
}

void reference_halftone(const uint8_t* source, int32_t source_width, int32_t source_height,
                        int32_t source_stride, uint8_t* target, int32_t target_width,
                        int32_t target_height, int32_t target_stride, int32_t channels) {
    for (int32_t y = 0; y < target_height; y++)
        for (int32_t x = 0; x < target_width; x++)
            for (int32_t ch = 0; ch < channels; ch++)
                target[(size_t)y * target_stride + (size_t)x * channels + ch] =
                    reference_halftone_at(source, source_width, source_height, source_stride,
                                          target_width, target_height, channels, x, y, ch);
}

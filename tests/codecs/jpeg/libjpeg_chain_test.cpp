// The libjpeg the program is built with: the v8 API (library version 80), compressing
// into memory and decompressing from memory.
#include <gtest/gtest.h>

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>

#include <jpeglib.h>
#include <jerror.h>

namespace {

struct JumpingErrors {
    jpeg_error_mgr manager;
    jmp_buf back;
};

void jump_back(j_common_ptr cinfo) {
    longjmp(((JumpingErrors*)cinfo->err)->back, 1);
}

// An 8x8 picture: a horizontal grey ramp.
const int SIDE = 8;

}  // namespace

TEST(Libjpeg, IsTheVersion80Api) {
    EXPECT_EQ(JPEG_LIB_VERSION, 80);
    // The library itself refuses an object made for any other version.
    jpeg_decompress_struct cinfo;
    JumpingErrors errors;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jump_back;
    volatile bool refused = false;
    if (setjmp(errors.back) == 0) jpeg_CreateDecompress(&cinfo, 62, sizeof(cinfo));
    else refused = true;
    EXPECT_TRUE(refused);
    EXPECT_EQ(errors.manager.msg_code, JERR_BAD_LIB_VERSION);
    jpeg_CreateDecompress(&cinfo, 80, sizeof(cinfo));
    jpeg_destroy_decompress(&cinfo);
}

TEST(Libjpeg, CompressesToMemoryAndDecompressesAgain) {
    unsigned char pixels[SIDE * SIDE];
    for (int y = 0; y < SIDE; y++)
        for (int x = 0; x < SIDE; x++) pixels[y * SIDE + x] = (unsigned char)(x * 32);

    jpeg_compress_struct out;
    JumpingErrors errors;
    out.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jump_back;
    unsigned char* encoded = nullptr;
    unsigned long encoded_size = 0;
    ASSERT_EQ(setjmp(errors.back), 0);
    jpeg_create_compress(&out);
    jpeg_mem_dest(&out, &encoded, &encoded_size);
    out.image_width = SIDE;
    out.image_height = SIDE;
    out.input_components = 1;
    out.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&out);
    jpeg_set_quality(&out, 95, TRUE);
    jpeg_start_compress(&out, TRUE);
    while (out.next_scanline < out.image_height) {
        JSAMPROW row = pixels + out.next_scanline * SIDE;
        jpeg_write_scanlines(&out, &row, 1);
    }
    jpeg_finish_compress(&out);
    jpeg_destroy_compress(&out);
    ASSERT_NE(encoded, nullptr);
    ASSERT_GT(encoded_size, 4u);
    EXPECT_EQ(encoded[0], 0xFF);
    EXPECT_EQ(encoded[1], 0xD8);

    jpeg_decompress_struct in;
    in.err = jpeg_std_error(&errors.manager);
    ASSERT_EQ(setjmp(errors.back), 0);
    jpeg_create_decompress(&in);
    jpeg_mem_src(&in, encoded, encoded_size);
    ASSERT_EQ(jpeg_read_header(&in, TRUE), JPEG_HEADER_OK);
    in.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&in);
    EXPECT_EQ(in.output_width, (JDIMENSION)SIDE);
    EXPECT_EQ(in.output_height, (JDIMENSION)SIDE);
    EXPECT_EQ(in.output_components, 1);
    unsigned char decoded[SIDE * SIDE];
    while (in.output_scanline < in.output_height) {
        JSAMPROW row = decoded + in.output_scanline * SIDE;
        jpeg_read_scanlines(&in, &row, 1);
    }
    jpeg_finish_decompress(&in);
    jpeg_destroy_decompress(&in);
    free(encoded);

    for (int i = 0; i < SIDE * SIDE; i++)
        EXPECT_NEAR(decoded[i], pixels[i], 6) << "pixel " << i;
}

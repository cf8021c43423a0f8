// The JPEG plug-ins' rows against the plain references: libjpeg writing blue, green, red
// straight into the DIB rows must give the bytes of the per-pixel conversion, and
// handing libjpeg the rows where they lie must give the file of the row-by-row swap.
#include <gtest/gtest.h>

#include <string>

#include "codecs/jpeg/jpeg.h"
#include "runtime/memory.h"
#include "tests/support/pixel_reference.h"
#include "tests/support/temp_folder.h"

namespace {

int32_t padded(int32_t width, int32_t extra) { return ((width * 3 + 3) & ~3) + extra; }

// The first byte where two buffers differ, in words; empty when they are equal.
std::string first_difference(const Bytes& got, const Bytes& want, int32_t stride) {
    if (got.size() != want.size())
        return std::to_string(got.size()) + " bytes instead of " + std::to_string(want.size());
    for (size_t i = 0; i < got.size(); i++)
        if (got[i] != want[i])
            return "row " + std::to_string(i / stride) + ", byte " + std::to_string(i % stride) +
                   ": " + std::to_string(got[i]) + " instead of " + std::to_string(want[i]);
    return "";
}

// Decodes through the plug-in as the image library does: check, decode, finish.
bool plugin_decode(const Bytes& jpeg, int32_t extra, int32_t flags, Bytes* pixels, int32_t* stride) {
    ImageDecodeRequest request = {};
    request.data = jpeg.data();
    request.size = (uint32_t)jpeg.size();
    request.from_memory = 1;
    if (!jpeg_decoder.check(&request)) return false;
    *stride = padded(request.width, extra);
    pixels->assign((size_t)*stride * request.height, 0xA5);
    int32_t done = jpeg_decoder.decode(&request, pixels->data(), *stride, flags);
    jpeg_decoder.finish(&request);
    return done != 0;
}

struct Kind {
    const char* name;
    TestJpegKind kind;
};

const Kind kinds[] = {
    {"4:2:0", {97, 61, JCS_YCbCr, 2, 2, false, 0, 90}},
    {"4:4:4", {64, 48, JCS_YCbCr, 1, 1, false, 0, 75}},
    {"4:2:2 odd sides", {33, 17, JCS_YCbCr, 2, 1, false, 0, 85}},
    {"4:4:0 tall", {17, 40, JCS_YCbCr, 1, 2, false, 0, 85}},
    {"progressive", {130, 75, JCS_YCbCr, 2, 2, true, 0, 80}},
    {"restart markers", {100, 80, JCS_YCbCr, 2, 2, false, 1, 70}},
    {"grey", {51, 29, JCS_GRAYSCALE, 1, 1, false, 0, 90}},
    {"RGB without transform", {40, 30, JCS_RGB, 1, 1, false, 0, 90}},
    {"CMYK", {23, 19, JCS_CMYK, 1, 1, false, 0, 90}},
    {"YCCK", {23, 19, JCS_YCCK, 2, 2, false, 0, 90}},
    {"one pixel", {1, 1, JCS_YCbCr, 2, 2, false, 0, 90}},
    {"one wide row band", {1001, 3, JCS_YCbCr, 2, 2, false, 0, 70}},
    {"camera-like", {640, 480, JCS_YCbCr, 2, 2, false, 0, 92}},
};

}  // namespace

TEST(JpegRows, DecodingWritesTheBytesOfThePerPixelConversion) {
    for (const Kind& k : kinds)
        for (int32_t extra = 0; extra <= 8; extra += 8) {
            Bytes jpeg = test_jpeg_photo(k.kind, 3);
            ASSERT_FALSE(jpeg.empty()) << k.name;
            Bytes ours;
            int32_t stride = 0;
            ASSERT_TRUE(plugin_decode(jpeg, extra, IMAGE_BOTTOM_UP, &ours, &stride)) << k.name;
            Bytes expected(ours.size(), 0xA5);
            int32_t width = 0, height = 0;
            ASSERT_TRUE(reference_jpeg_decode(jpeg, expected.data(), stride, &width, &height));
            EXPECT_EQ(width, k.kind.width);
            EXPECT_EQ(height, k.kind.height);
            EXPECT_EQ(first_difference(ours, expected, stride), "") << k.name << ", stride " << stride;
        }
}

TEST(JpegRows, TopDownDecodingWritesTheSameRowsTheOtherWayRound) {
    Bytes jpeg = test_jpeg_photo(kinds[0].kind, 9);
    Bytes bottom_up, top_down;
    int32_t stride = 0;
    ASSERT_TRUE(plugin_decode(jpeg, 4, IMAGE_BOTTOM_UP, &bottom_up, &stride));
    ASSERT_TRUE(plugin_decode(jpeg, 4, 0, &top_down, &stride));
    int32_t height = kinds[0].kind.height;
    for (int32_t y = 0; y < height; y++)
        ASSERT_EQ(memcmp(&top_down[(size_t)y * stride], &bottom_up[(size_t)(height - 1 - y) * stride],
                         (size_t)stride),
                  0)
            << "row " << y;
}

TEST(JpegRows, EncodingGivesTheFileOfTheRowByRowSwap) {
    struct {
        int32_t width, height, extra, options, quality;
    } cases[] = {
        {640, 480, 0, 7, 70}, {1, 1, 0, 7, 70},   {33, 17, 3, 7, 70},  {257, 3, 8, 10, 100},
        {7, 300, 1, 0, 0},    {100, 75, 0, 3, 30}, {50, 20, 0, 15, 100},
    };
    TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    for (auto c : cases) {
        int32_t stride = padded(c.width, c.extra);
        Bytes pixels = test_photo_pixels(c.width, c.height, stride, 11);
        Bytes expected = reference_jpeg_encode(pixels.data(), c.width, c.height, stride, c.quality);
        ASSERT_FALSE(expected.empty());

        int32_t block = jpeg_encoder.encode24(0, pixels.data(), c.width, c.height, stride,
                                              IMAGE_BOTTOM_UP, c.options, -1);
        ASSERT_NE(block, 0) << c.width << "x" << c.height;
        const uint8_t* bytes = (const uint8_t*)(intptr_t)block;
        Bytes in_memory(bytes, bytes + jpeg_encoded_size);
        memory_free((void*)bytes);
        EXPECT_EQ(first_difference(in_memory, expected, c.width * 3), "")
            << c.width << "x" << c.height << " options " << c.options;

        std::string path = folder.file("out.jpg");
        ASSERT_EQ(jpeg_encoder.encode24(path.c_str(), pixels.data(), c.width, c.height, stride,
                                        IMAGE_BOTTOM_UP, c.options, -1),
                  1);
        EXPECT_EQ(first_difference(folder.read("out.jpg"), expected, c.width * 3), "")
            << c.width << "x" << c.height << " options " << c.options << ", to a file";
    }
}

TEST(JpegRows, TopDownEncodingReadsTheRowsTheOtherWayRound) {
    const int32_t width = 45, height = 37, stride = padded(width, 2);
    Bytes bottom_up = test_photo_pixels(width, height, stride, 4);
    Bytes top_down(bottom_up.size());
    for (int32_t y = 0; y < height; y++)
        memcpy(&top_down[(size_t)y * stride], &bottom_up[(size_t)(height - 1 - y) * stride], (size_t)stride);
    Bytes expected = reference_jpeg_encode(bottom_up.data(), width, height, stride, 70);
    int32_t block = jpeg_encoder.encode24(0, top_down.data(), width, height, stride, 0, 7, -1);
    ASSERT_NE(block, 0);
    const uint8_t* bytes = (const uint8_t*)(intptr_t)block;
    Bytes encoded(bytes, bytes + jpeg_encoded_size);
    memory_free((void*)bytes);
    EXPECT_EQ(first_difference(encoded, expected, width * 3), "");
}

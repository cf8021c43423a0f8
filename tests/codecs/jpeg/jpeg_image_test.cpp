// The JPEG plug-ins behind the image library: image_load, image_load_memory and
// image_save with the plug-ins registered as the program registers them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecs/jpeg/jpeg.h"
#include "tests/support/heap_faults.h"
#include "tests/support/image_helpers.h"
#include "tests/support/jpeg_maker.h"
#include "tests/support/temp_folder.h"

namespace {

class JpegImage : public testing::Test {
  protected:
    // As the program does at start-up; a second call must change nothing.
    static void SetUpTestSuite() {
        for (int i = 0; i < 2; i++) {
            jpeg_decoder_register();
            jpeg_encoder_register();
        }
    }
    void TearDown() override { image_free(-1); }
};

uint32_t rgb(int red, int green, int blue) {
    return 0xFF000000u | (uint32_t)red << 16 | (uint32_t)green << 8 | (uint32_t)blue;
}

void expect_every_pixel_near(const TestPicture& picture, int32_t top, int32_t rows, uint32_t colour,
                             int tolerance, const std::string& what) {
    for (int32_t y = top; y < top + rows; y++)
        for (int32_t x = 0; x < picture.width; x++)
            for (int shift = 0; shift < 32; shift += 8) {
                int got = (picture.at(x, y) >> shift) & 255, want = (colour >> shift) & 255;
                ASSERT_NEAR(got, want, tolerance) << what << " at " << x << "," << y << " shift " << shift;
            }
}

bool no_image(int32_t number) {
    ImageObject* image = test_image(number);
    return !image || !image->handle;
}

}  // namespace

TEST_F(JpegImage, LoadsEveryColourSpaceIntoA24BitImage) {
    struct { const char* what; JpegMake make; int32_t source_depth; uint32_t colour; int tolerance; } cases[] = {
        {"grey", jpeg_uniform(9, 7, JCS_GRAYSCALE, JCS_GRAYSCALE, {90}), 24, rgb(90, 90, 90), 0},
        {"YCbCr", jpeg_uniform(9, 7, JCS_RGB, JCS_YCbCr, {200, 40, 10}), 24, rgb(200, 40, 10), 2},
        {"RGB", jpeg_uniform(9, 7, JCS_RGB, JCS_RGB, {200, 40, 10}), 24, rgb(200, 40, 10), 0},
        {"CMYK", jpeg_uniform(9, 7, JCS_CMYK, JCS_CMYK, {200, 100, 50, 255}), 32, rgb(200, 100, 50), 0},
        {"YCCK", jpeg_uniform(9, 7, JCS_CMYK, JCS_YCCK, {200, 100, 50, 255}), 32, rgb(200, 100, 50), 0},
        {"CMYK without black", jpeg_uniform(9, 7, JCS_CMYK, JCS_CMYK, {200, 100, 50, 0}), 32, rgb(0, 0, 0), 0},
    };
    for (auto& c : cases) {
        Bytes data = jpeg_make(c.make);
        ASSERT_NE(test_load(1, data), 0) << c.what;
        ImageObject* image = test_image(1);
        EXPECT_EQ(image->width, 9) << c.what;
        EXPECT_EQ(image->height, 7) << c.what;
        EXPECT_EQ(image->depth, 24) << c.what;
        EXPECT_EQ(image->source_depth, c.source_depth) << c.what;
        EXPECT_EQ(image->format_code, (uint32_t)IMAGE_FORMAT_JPEG) << c.what;
        expect_every_pixel_near(test_image_pixels(1), 0, 7, c.colour, c.tolerance, c.what);
    }
}

TEST_F(JpegImage, KeepsThePictureUpright) {
    ASSERT_NE(test_load(1, jpeg_make(jpeg_bands(6, 16, {{200, 40, 10}, {10, 90, 220}}))), 0);
    TestPicture picture = test_image_pixels(1);
    expect_every_pixel_near(picture, 0, 1, rgb(200, 40, 10), 2, "top");
    expect_every_pixel_near(picture, 15, 1, rgb(10, 90, 220), 2, "bottom");
}

TEST_F(JpegImage, RefusesWhatItCannotReadAndKeepsNothing) {
    Bytes valid = jpeg_make(jpeg_bands(16, 16, {{200, 40, 10}}, 90));
    size_t frame = jpeg_marker_offset(valid, 0xC0);
    ASSERT_GT(frame, 0u);
    Bytes broken = valid;
    broken[frame + 9] = 0;  // no components
    Bytes no_marker(valid.begin() + 2, valid.end());
    Bytes two_components = jpeg_make(JpegMake{8, 8, 2, JCS_UNKNOWN, JCS_UNKNOWN, 90, Bytes(128, 7)});
    Bytes wide = jpeg_make(jpeg_uniform(40000, 8, JCS_GRAYSCALE, JCS_GRAYSCALE, {90}));
    Bytes tall = jpeg_make(jpeg_uniform(8, 40000, JCS_GRAYSCALE, JCS_GRAYSCALE, {90}));
    ASSERT_FALSE(two_components.empty() || wide.empty() || tall.empty());
    struct { const char* what; Bytes data; } cases[] = {
        {"no bytes", {}},
        {"one byte", {0xFF}},
        {"no start-of-image marker", no_marker},
        {"broken header", broken},
        {"header cut", Bytes(valid.begin(), valid.begin() + frame + 6)},
        {"two components", two_components},
        {"wider than an image", wide},
        {"taller than an image", tall},
    };
    // One round first: the image registry takes its table once.
    for (int round = 0; round < 2; round++) {
        int32_t live = heap_live_blocks();
        for (int repeat = 0; repeat < 5; repeat++)
            for (auto& c : cases) {
                EXPECT_EQ(test_load(-1, c.data), 0) << c.what;
                ASSERT_NE(test_load(2, valid), 0);
                EXPECT_EQ(test_load(2, c.data), 0) << c.what;
                EXPECT_TRUE(no_image(2)) << c.what;
            }
        if (round == 1) {
            EXPECT_EQ(heap_live_blocks(), live);
        }
    }
    // The same picture whole loads.
    EXPECT_NE(test_load(2, valid), 0);
}

TEST_F(JpegImage, LoadsAFileCutShortAtFullSize) {
    TempFolder folder;
    Bytes whole = jpeg_make(jpeg_bands(40, 32, {{200, 40, 10}, {10, 90, 220}}, 90));
    size_t scan = jpeg_marker_offset(whole, 0xDA);
    ASSERT_GT(scan, 0u);
    // Half of the entropy-coded data is gone.
    size_t length = scan + (whole.size() - scan) / 2;
    ASSERT_TRUE(folder.write("cut.jpg", Bytes(whole.begin(), whole.begin() + length)));
    ASSERT_NE(image_load(1, folder.file("cut.jpg").c_str()), 0);
    EXPECT_EQ(test_image(1)->width, 40);
    EXPECT_EQ(test_image(1)->height, 32);
    // The rows before the cut are there.
    expect_every_pixel_near(test_image_pixels(1), 0, 1, rgb(200, 40, 10), 2, "top row");
}

TEST_F(JpegImage, SavesAtTheQualityOfTheOptionsAndLoadsBack) {
    TempFolder folder;
    ASSERT_NE(test_load(1, jpeg_make(jpeg_uniform(20, 12, JCS_RGB, JCS_YCbCr, {200, 40, 10}))), 0);
    struct { const char* name; int32_t options; int32_t quality; } cases[] = {
        {"default.jpg", IMAGE_OPTIONS_DEFAULT, 70}, {"best.jpg", 15, 100}, {"worst.jpg", -3, 0},
    };
    for (auto& c : cases) {
        std::string path = folder.file(c.name);
        ASSERT_EQ(image_save(1, path.c_str(), IMAGE_FORMAT_JPEG, c.options), 1) << c.name;
        JpegReading reading;
        ASSERT_TRUE(jpeg_read(folder.read(c.name), &reading)) << c.name;
        EXPECT_EQ(reading.tables, jpeg_quality_tables(c.quality)) << c.name;
        ASSERT_NE(image_load(3, path.c_str()), 0) << c.name;
        EXPECT_EQ(test_image(3)->width, 20);
        EXPECT_EQ(test_image(3)->height, 12);
        if (c.quality >= 70) expect_every_pixel_near(test_image_pixels(3), 0, 12, rgb(200, 40, 10), 6, c.name);
    }
    // Saving over a file replaces it.
    folder.write("default.jpg", std::string(50000, 'x'));
    ASSERT_EQ(image_save(1, folder.file("default.jpg").c_str(), IMAGE_FORMAT_JPEG), 1);
    EXPECT_LT(folder.read("default.jpg").size(), 50000u);
}

TEST_F(JpegImage, SavesNothingIntoAMissingFolder) {
    TempFolder folder;
    ASSERT_NE(test_load(1, jpeg_make(jpeg_uniform(4, 4, JCS_GRAYSCALE, JCS_GRAYSCALE, {9}))), 0);
    std::string path = folder.file("missing") + "\\out.jpg";
    EXPECT_EQ(image_save(1, path.c_str(), IMAGE_FORMAT_JPEG), 0);
    EXPECT_FALSE(folder.exists("missing"));
}

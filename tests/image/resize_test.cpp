// image_resize on real DIB sections: the halftone path averages, the raw path takes
// single pixels, pictures with alpha go through the bicubic resampler.
#include <gtest/gtest.h>

#include "image/alpha.h"
#include "image/resize.h"
#include "runtime/ignore.h"
#include "tests/support/heap_faults.h"
#include "tests/support/image_helpers.h"

namespace {

// A one-row picture of the given grey levels (alpha 255) at 24 or 32 bits.
int32_t load_row(int32_t number, const std::vector<uint8_t>& levels, int32_t bit_count) {
    TestPicture row{(int32_t)levels.size(), 1, {}};
    for (uint8_t v : levels) row.pixels.push_back(0xFF000000u | v * 0x010101u);
    return test_load(number, test_bmp_file(TestBmp{row, bit_count, {}}));
}

uint8_t blue(const TestPicture& p, int32_t x, int32_t y = 0) { return p.at(x, y) & 0xFF; }
uint8_t alpha(const TestPicture& p, int32_t x, int32_t y = 0) { return p.at(x, y) >> 24; }

class Resize : public testing::Test {
  protected:
    void TearDown() override { image_free(-1); }
};

}  // namespace

TEST_F(Resize, HalftoneAveragesWhatFallsOnEachTargetPixel) {
    ASSERT_NE(load_row(0, {0, 40, 80, 120, 160, 200, 240, 255}, 24), 0);
    ASSERT_NE(image_resize(0, 2, 1), nullptr);
    TestPicture p = test_image_pixels(0);
    ASSERT_EQ(p.width, 2);
    EXPECT_EQ(blue(p, 0), 60);   // (0 + 40 + 80 + 120) / 4
    EXPECT_EQ(blue(p, 1), 214);  // (160 + 200 + 240 + 255) / 4 = 213.75
    EXPECT_EQ(test_image(0)->depth, 24);
}

TEST_F(Resize, RawModeTakesSinglePixelsWithoutBlending) {
    std::vector<uint8_t> levels = {10, 50, 90, 130, 170, 210};
    ASSERT_NE(load_row(0, levels, 24), 0);
    ASSERT_NE(image_resize_ex(0, 4, 3, IMAGE_RESIZE_RAW), nullptr);
    TestPicture p = test_image_pixels(0);
    ASSERT_EQ(p.width, 4);
    ASSERT_EQ(p.height, 3);
    for (int32_t y = 0; y < 3; y++)
        for (int32_t x = 0; x < 4; x++)
            EXPECT_NE(std::find(levels.begin(), levels.end(), blue(p, x, y)), levels.end())
                << "pixel " << x << "," << y << " is a blend: " << (int)blue(p, x, y);
}

TEST_F(Resize, AlphaPicturesGoThroughTheBicubicResampler) {
    ASSERT_NE(load_row(0, {10, 20, 30, 40}, 32), 0);
    ASSERT_NE(image_resize(0, 1, 1), nullptr);
    EXPECT_EQ(blue(test_image_pixels(0), 0), 25);

    ASSERT_NE(load_row(0, {0, 255}, 32), 0);
    ASSERT_NE(image_resize(0, 4, 1), nullptr);
    TestPicture p = test_image_pixels(0);
    uint8_t expected[] = {0, 63, 192, 255};
    for (int32_t x = 0; x < 4; x++) EXPECT_EQ(blue(p, x), expected[x]) << x;
}

// Sets every alpha byte of a 32-bit image, straight in its DIB section.
void set_alpha(int32_t number, uint8_t value) {
    DIBSECTION section;
    ASSERT_EQ(GetObjectA(test_image(number)->handle, sizeof section, &section), (int)sizeof section);
    ASSERT_EQ(section.dsBm.bmBitsPixel, 32);
    uint8_t* p = (uint8_t*)section.dsBm.bmBits;
    for (int32_t i = 0; i < section.dsBm.bmWidth * section.dsBm.bmHeight; i++) p[4 * i + 3] = value;
}

TEST_F(Resize, BicubicKeepsOpaqueAndTransparentAlpha) {
    for (uint8_t value : {255, 0}) {
        ASSERT_NE(test_load(0, test_bmp_file(TestBmp{test_picture_gradient(9, 7), 32, {}})), 0);
        set_alpha(0, value);
        ASSERT_NE(image_resize(0, 5, 12), nullptr);
        TestPicture p = test_image_pixels(0);
        for (int32_t y = 0; y < 12; y++)
            for (int32_t x = 0; x < 5; x++) ASSERT_EQ(alpha(p, x, y), value) << x << "," << y;
    }
}

TEST_F(Resize, OnePixelWideEnlargedRepeatsTheColumn) {
    TestPicture column{1, 3, {0xFF102030u, 0xFF405060u, 0xFF708090u}};
    ASSERT_NE(test_load(0, test_bmp_file(TestBmp{column, 32, {}})), 0);
    ASSERT_NE(image_resize(0, 6, 3), nullptr);
    TestPicture p = test_image_pixels(0);
    for (int32_t y = 0; y < 3; y++)
        for (int32_t x = 1; x < 6; x++) EXPECT_EQ(p.at(x, y), p.at(0, y)) << x << "," << y;

    TestPicture dot{1, 1, {0xFF708090u}};
    ASSERT_NE(test_load(0, test_bmp_file(TestBmp{dot, 32, {}})), 0);
    ASSERT_NE(image_resize(0, 5, 1), nullptr);
    p = test_image_pixels(0);
    for (int32_t x = 0; x < 5; x++) EXPECT_EQ(p.at(x, 0), dot.at(0, 0)) << x;
}

TEST_F(Resize, WithoutAlphaBlendingThirtyTwoBitsTakeTheHalftonePath) {
    alpha_support_end();
    ASSERT_NE(load_row(0, {0, 40, 80, 120, 160, 200, 240, 255}, 32), 0);
    HBITMAP result = image_resize(0, 2, 1);
    alpha_support_init();
    ASSERT_NE(result, nullptr);
    TestPicture p = test_image_pixels(0);
    EXPECT_EQ(blue(p, 0), 60);
    EXPECT_EQ(blue(p, 1), 214);
}

TEST_F(Resize, TheIgnoreValueKeepsASide) {
    ASSERT_NE(test_load(0, test_bmp_file(TestBmp{test_picture_gradient(8, 6), 24, {}})), 0);
    ASSERT_NE(image_resize(0, IGNORE_VALUE, 3), nullptr);
    EXPECT_EQ(test_image(0)->width, 8);
    EXPECT_EQ(test_image(0)->height, 3);
    ASSERT_NE(image_resize(0, 4, IGNORE_VALUE), nullptr);
    EXPECT_EQ(test_image(0)->width, 4);
    EXPECT_EQ(test_image(0)->height, 3);
    TestPicture p = test_image_pixels(0);
    EXPECT_EQ(p.width, 4);
    EXPECT_EQ(p.height, 3);
}

TEST_F(Resize, TheSameSizeKeepsTheSameBitmap) {
    ASSERT_NE(test_load(0, test_bmp_file(TestBmp{test_picture_gradient(8, 6), 24, {}})), 0);
    HANDLE before = test_image(0)->handle;
    EXPECT_EQ(image_resize(0, 8, 6), before);
    EXPECT_EQ(image_resize(0, IGNORE_VALUE, IGNORE_VALUE), before);
    EXPECT_EQ(test_image(0)->handle, before);
    EXPECT_EQ(GetObjectType(before), (DWORD)OBJ_BITMAP);
}

TEST_F(Resize, NoImageOrAnIconIsRefusedAndChangesNothing) {
    EXPECT_EQ(image_resize(7, 10, 10), nullptr);
    Bytes icon = test_icon_file({{test_picture_filled(16, 16, 0xFF00FF00u), 32, {}}});
    ASSERT_NE(test_load(1, icon), 0);
    HANDLE held = test_image(1)->handle;
    EXPECT_EQ(image_resize(1, 32, 32), nullptr);
    EXPECT_EQ(test_image(1)->handle, held);
    EXPECT_EQ(test_image(1)->width, 16);
}

TEST_F(Resize, SidesTheRecordCannotHoldAreRefusedAndKeepThePicture) {
    ASSERT_NE(test_load(0, test_bmp_file(TestBmp{test_picture_gradient(8, 6), 24, {}})), 0);
    HANDLE before = test_image(0)->handle;
    struct { int32_t width, height; } cases[] = {{0, 5}, {5, 0}, {-3, 5}, {32768, 5}, {5, 40000}};
    for (auto c : cases) {
        EXPECT_EQ(image_resize(0, c.width, c.height), nullptr) << c.width << "x" << c.height;
        EXPECT_EQ(test_image(0)->handle, before);
        EXPECT_EQ(test_image(0)->width, 8);
    }
}

// The number, a table one or automatic, then holds no image, and nothing of it is left.
TEST_F(Resize, AFailureLeavesTheNumberWithoutAnImage) {
    Bytes file = test_bmp_file(TestBmp{test_picture_gradient(8, 6), 24, {}});
    ASSERT_NE(test_load(0, file), 0);  // the table's record, made once and kept
    image_free(0);
    int32_t blocks = heap_live_blocks();
    for (int32_t asked : {0, -1}) {
        int32_t loaded = test_load(asked, file);
        ASSERT_NE(loaded, 0) << asked;
        int32_t number = asked == -1 ? loaded : asked;
        HANDLE before = test_image(number)->handle;
        // 32767 x 32767 at 24 bits is more than a 32-bit process can map.
        EXPECT_EQ(image_resize(number, 32767, 32767), nullptr) << asked;
        EXPECT_EQ(GetObjectType(before), 0u) << asked;  // the old bitmap is gone
        EXPECT_EQ(registry_get(image_registry, number), nullptr) << asked;
        EXPECT_EQ(image_free(number), 0) << asked;
        EXPECT_EQ(heap_live_blocks(), blocks) << asked;
    }
}

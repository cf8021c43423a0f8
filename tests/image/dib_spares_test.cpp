// Kept DIB sections: a large released section comes back for the next of its size and
// bit count with the contents a new one would have, small ones are deleted at once, and
// no more than four (160 MB together) are kept.
#include <gtest/gtest.h>

#include <string.h>

#include "codecs/jpeg/jpeg.h"
#include "image/resize.h"
#include "tests/support/image_helpers.h"
#include "tests/support/pixel_reference.h"

namespace {

bool bitmap_exists(HBITMAP bitmap) { return GetObjectType(bitmap) == OBJ_BITMAP; }

uint8_t* pixels_of(HBITMAP bitmap, DIBSECTION* section) {
    if (GetObjectA(bitmap, sizeof *section, section) != sizeof *section) return nullptr;
    return (uint8_t*)section->dsBm.bmBits;
}

// A section of that size with every byte, padding too, set to value.
HBITMAP dirty_section(int32_t width, int32_t height, int32_t depth, uint8_t value) {
    HBITMAP bitmap = image_create_dib(width, height, depth);
    DIBSECTION section;
    uint8_t* bits = bitmap ? pixels_of(bitmap, &section) : nullptr;
    if (bits) memset(bits, value, (size_t)section.dsBm.bmWidthBytes * section.dsBm.bmHeight);
    return bitmap;
}

class DibSpares : public testing::Test {
  protected:
    void SetUp() override { dib_spares_drop(); }
    void TearDown() override {
        image_free(-1);
        dib_spares_drop();
    }
};

}  // namespace

TEST_F(DibSpares, ALargeReleasedSectionComesBackClearedForItsSize) {
    HBITMAP first = dirty_section(640, 480, 24, 0x5A);
    ASSERT_NE(first, nullptr);
    dib_section_release(first);
    EXPECT_TRUE(bitmap_exists(first)) << "kept for reuse";
    HBITMAP again = image_create_dib(640, 480, 24);
    ASSERT_EQ(again, first);
    DIBSECTION section;
    uint8_t* bits = pixels_of(again, &section);
    ASSERT_NE(bits, nullptr);
    size_t size = (size_t)section.dsBm.bmWidthBytes * section.dsBm.bmHeight;
    size_t nonzero = 0;
    for (size_t i = 0; i < size; i++) nonzero += bits[i] != 0;
    EXPECT_EQ(nonzero, 0u);
    DeleteObject(again);
}

TEST_F(DibSpares, AWrittenSectionHasOnlyItsRowPaddingCleared) {
    // 641 pixels at 24 bits: 1923 bytes of pixels, one byte of padding a row.
    HBITMAP first = dirty_section(641, 479, 24, 0xA7);
    ASSERT_NE(first, nullptr);
    dib_section_release(first);
    HBITMAP again = image_create_dib(641, 479, 24, DIB_WRITTEN);
    ASSERT_EQ(again, first);
    DIBSECTION section;
    uint8_t* bits = pixels_of(again, &section);
    ASSERT_NE(bits, nullptr);
    ASSERT_EQ(section.dsBm.bmWidthBytes, 1924);
    for (int32_t row = 0; row < 479; row++) {
        ASSERT_EQ(bits[row * 1924 + 1923], 0) << "padding of row " << row;
        ASSERT_EQ(bits[row * 1924 + 1922], 0xA7) << "pixels are left for the caller";
    }
    DeleteObject(again);
}

TEST_F(DibSpares, OtherSizesDepthsAndSmallSectionsAreNotReused) {
    HBITMAP kept = image_create_dib(640, 480, 24);
    dib_section_release(kept);
    struct { int32_t width, height, depth; } others[] = {{480, 640, 24}, {640, 481, 24}, {640, 480, 32}};
    for (auto o : others) {
        HBITMAP other = image_create_dib(o.width, o.height, o.depth);
        ASSERT_NE(other, nullptr);
        EXPECT_NE(other, kept) << o.width << "x" << o.height << "x" << o.depth;
        DeleteObject(other);
    }
    // Below 256 KB a section is not worth keeping: it is deleted at once.
    HBITMAP small = image_create_dib(200, 200, 24);
    dib_section_release(small);
    EXPECT_FALSE(bitmap_exists(small));
    EXPECT_TRUE(bitmap_exists(kept));
    dib_spares_drop();
    EXPECT_FALSE(bitmap_exists(kept));
}

TEST_F(DibSpares, TheOldestGoBeyondFourOrBeyond160Megabytes) {
    HBITMAP released[5];
    for (int i = 0; i < 5; i++) {
        released[i] = image_create_dib(400, 300 + i, 24);
        ASSERT_NE(released[i], nullptr);
    }
    for (HBITMAP bitmap : released) dib_section_release(bitmap);
    EXPECT_FALSE(bitmap_exists(released[0]));
    for (int i = 1; i < 5; i++) EXPECT_TRUE(bitmap_exists(released[i])) << i;

    // Two of 90 MB are more than may be kept together: the earlier one goes, and the
    // smaller ones after it stay, the oldest giving way for the new one's slot.
    HBITMAP huge[2] = {image_create_dib(6000, 5000, 24), image_create_dib(6000, 5001, 24)};
    ASSERT_NE(huge[0], nullptr);
    ASSERT_NE(huge[1], nullptr);
    dib_section_release(huge[0]);
    dib_section_release(huge[1]);
    EXPECT_FALSE(bitmap_exists(huge[0]));
    EXPECT_TRUE(bitmap_exists(huge[1]));
    EXPECT_FALSE(bitmap_exists(released[1]));
    for (int i = 2; i < 5; i++) EXPECT_TRUE(bitmap_exists(released[i])) << i;
}

TEST_F(DibSpares, ABatchLoadsEachPictureIntoTheSectionTheLastOneLeft) {
    jpeg_decoder_register();
    Bytes jpeg = test_jpeg_photo({640, 480, JCS_YCbCr, 2, 2, false, 0, 90}, 8);
    ASSERT_NE(test_load(0, jpeg), 0);
    HANDLE first = test_image(0)->handle;
    ASSERT_EQ(image_free(0), 1);
    ASSERT_NE(test_load(0, jpeg), 0);
    EXPECT_EQ(test_image(0)->handle, first);
    // And the resized picture's old bitmap waits for the next load as well.
    ASSERT_NE(image_resize(0, 320, 240), nullptr);
    ASSERT_NE(test_load(1, jpeg), 0);
    EXPECT_EQ(test_image(1)->handle, first);
}

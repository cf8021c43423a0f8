// Image numbers: DIB sections, freeing one or every image, reuse of a number, and the
// alpha support that chooses how 32-bit pictures are resized.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "image/alpha.h"
#include "runtime/memory.h"
#include "tests/support/image_helpers.h"

namespace {

Bytes small_bmp(uint32_t colour = 0xFF336699u) {
    return test_bmp_file(TestBmp{test_picture_filled(3, 2, colour), 24, {}});
}

Bytes small_icon() {
    return test_icon_file({{test_picture_filled(16, 16, 0xFF00FF00u), 32, {}}});
}

bool bitmap_exists(HANDLE handle) { return GetObjectType(handle) == OBJ_BITMAP; }

bool icon_exists(HANDLE handle) {
    ICONINFO info;
    if (!GetIconInfo((HICON)handle, &info)) return false;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
}

}  // namespace

TEST(ImageCreateDib, MakesBottomUpSectionsOfAtLeast24Bits) {
    struct { int32_t depth, bits; } cases[] = {{1, 24}, {4, 24}, {8, 24}, {16, 24}, {24, 24}, {32, 32}};
    for (auto c : cases) {
        HBITMAP bitmap = image_create_dib(5, 3, c.depth);
        ASSERT_NE(bitmap, nullptr) << c.depth;
        DIBSECTION section;
        ASSERT_EQ(GetObjectA(bitmap, sizeof section, &section), (int)sizeof section);
        EXPECT_EQ(section.dsBm.bmBitsPixel, c.bits) << c.depth;
        EXPECT_EQ(section.dsBm.bmWidth, 5);
        EXPECT_EQ(section.dsBm.bmHeight, 3);
        EXPECT_GT(section.dsBmih.biHeight, 0) << "bottom-up rows";
        EXPECT_EQ(section.dsBm.bmWidthBytes, dib_row_bytes(5, c.bits));
        EXPECT_NE(section.dsBm.bmBits, nullptr);
        DeleteObject(bitmap);
    }
    EXPECT_EQ(image_create_dib(0, 3, 24), nullptr);
    EXPECT_EQ(image_create_dib(3, 0, 24), nullptr);
}

TEST(ImageFree, FreesOneNumberOnce) {
    ASSERT_NE(test_load(4, small_bmp()), 0);
    HANDLE bitmap = test_image(4)->handle;
    EXPECT_EQ(image_free(4), 1);
    EXPECT_FALSE(bitmap_exists(bitmap));
    EXPECT_EQ(test_image(4), nullptr);
    EXPECT_EQ(image_free(4), 0);
    EXPECT_EQ(image_free(9999), 0);
    EXPECT_EQ(image_free(123456789), 0);  // neither a table number nor an identity
}

TEST(ImageFree, MinusOneFreesEveryImageTableAndAutomatic) {
    ASSERT_NE(test_load(0, small_bmp()), 0);
    ASSERT_NE(test_load(5, small_icon()), 0);
    int32_t first = test_load(-1, small_bmp());
    int32_t second = test_load(-1, small_icon());
    ASSERT_NE(first, 0);
    ASSERT_NE(second, 0);
    HANDLE handles[] = {test_image(0)->handle, test_image(5)->handle, test_image(first)->handle,
                        test_image(second)->handle};
    EXPECT_EQ(image_free(-1), 1);
    for (int32_t number : {0, 5, first, second}) {
        EXPECT_EQ(test_image(number), nullptr) << number;
        EXPECT_EQ(image_free(number), 0) << number;
    }
    EXPECT_FALSE(bitmap_exists(handles[0]));
    EXPECT_FALSE(icon_exists(handles[1]));
    EXPECT_FALSE(bitmap_exists(handles[2]));
    EXPECT_FALSE(icon_exists(handles[3]));
}

TEST(ImageLoad, ReturnsTheHandleOrTheNewNumber) {
    int32_t handle = test_load(2, small_bmp());
    ASSERT_NE(handle, 0);
    EXPECT_EQ((HANDLE)(intptr_t)handle, test_image(2)->handle);
    int32_t number = test_load(-1, small_bmp());
    ASSERT_NE(number, 0);
    ASSERT_NE(test_image(number), nullptr);
    EXPECT_NE(number, 2);
    EXPECT_EQ(image_free(number), 1);
    EXPECT_EQ(image_free(2), 1);
}

TEST(ImageLoad, IntoAHeldNumberReleasesTheOldImageEvenWhenItFails) {
    const Bytes junk = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    struct { const char* what; Bytes old_file; bool (*exists)(HANDLE); } cases[] = {
        {"bitmap", small_bmp(), bitmap_exists},
        {"icon", small_icon(), icon_exists},
    };
    for (auto& c : cases) {
        ASSERT_NE(test_load(7, c.old_file), 0) << c.what;
        HANDLE old = test_image(7)->handle;
        ASSERT_TRUE(c.exists(old)) << c.what;
        EXPECT_EQ(test_load(7, junk), 0) << c.what;
        EXPECT_FALSE(c.exists(old)) << c.what;
        EXPECT_EQ(test_image(7), nullptr) << c.what;
        EXPECT_EQ(image_free(7), 0) << c.what;
    }
    // The same with a null block, and a successful load in between.
    ASSERT_NE(test_load(7, small_bmp()), 0);
    HANDLE old = test_image(7)->handle;
    ASSERT_NE(test_load(7, small_bmp(0xFF000000u)), 0);
    EXPECT_FALSE(bitmap_exists(old));
    old = test_image(7)->handle;
    EXPECT_EQ(image_load_memory(7, nullptr, 10), 0);
    EXPECT_FALSE(bitmap_exists(old));
}

TEST(ImageLoad, AFailedAutomaticLoadLeavesNoRecord) {
    const Bytes junk = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(test_load(-1, junk), 0);
    EXPECT_EQ(image_load_memory(-1, nullptr, 0), 0);
    EXPECT_EQ(image_registry->automatic_chain, nullptr);
}

namespace {

// A 32-bit bitmap that is not a DIB section, with one alpha byte set or none.
HBITMAP device_bitmap32(bool with_alpha) {
    uint32_t pixels[4 * 3];
    for (int i = 0; i < 12; i++) pixels[i] = 0x00102030u + (uint32_t)i;
    if (with_alpha) pixels[7] |= 0x01000000u;
    return CreateBitmap(4, 3, 1, 32, pixels);
}

}  // namespace

TEST(AlphaSupport, EveryThirtyTwoBitDibSectionCountsAsAlpha) {
    HBITMAP dib32 = image_create_dib(4, 4, 32);
    HBITMAP dib24 = image_create_dib(4, 4, 24);
    EXPECT_EQ(image_has_alpha(dib32), 1) << "alpha bytes all 0";
    EXPECT_EQ(image_has_alpha(dib24), 0);
    HICON icon = CreateIcon(GetModuleHandleA(0), 16, 16, 1, 1, std::vector<uint8_t>(32, 0xFF).data(),
                            std::vector<uint8_t>(32, 0).data());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(image_has_alpha((HBITMAP)icon), 0) << "an icon is not a bitmap";
    DestroyIcon(icon);

    // Without the system's alpha blending nothing counts.
    alpha_support_end();
    EXPECT_EQ(image_has_alpha(dib32), 0);
    alpha_support_init();
    EXPECT_EQ(image_has_alpha(dib32), 1);
    DeleteObject(dib32);
    DeleteObject(dib24);
}

TEST(AlphaSupport, ADeviceBitmapCountsOnlyWithSomeAlpha) {
    HBITMAP none = device_bitmap32(false), some = device_bitmap32(true);
    ASSERT_NE(none, nullptr);
    ASSERT_NE(some, nullptr);
    BITMAP description;
    ASSERT_NE(GetObjectA(none, sizeof description, &description), 0);
    if (description.bmBitsPixel != 32) GTEST_SKIP() << "the display offers no 32-bit device bitmaps";
    EXPECT_EQ(image_has_alpha(none), 0);
    EXPECT_EQ(image_has_alpha(some), 1);
    DeleteObject(none);
    DeleteObject(some);
}

TEST(BitmapGetBits32, PointsIntoADibSectionAndCopiesADeviceBitmap) {
    HBITMAP dib = image_create_dib(4, 3, 32);
    DIBSECTION section;
    ASSERT_EQ(GetObjectA(dib, sizeof section, &section), (int)sizeof section);
    int32_t allocated = -1;
    EXPECT_EQ(bitmap_get_bits32(dib, &allocated), section.dsBm.bmBits);
    EXPECT_EQ(allocated, 0);
    DeleteObject(dib);

    HBITMAP device = device_bitmap32(true);
    BITMAP description;
    ASSERT_NE(GetObjectA(device, sizeof description, &description), 0);
    if (description.bmBitsPixel != 32) GTEST_SKIP() << "the display offers no 32-bit device bitmaps";
    allocated = -1;
    uint8_t* copy = bitmap_get_bits32(device, &allocated);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(allocated, 1);
    // Top-down rows, as the pixels were given.
    for (int i = 0; i < 12; i++) {
        uint32_t pixel;
        memcpy(&pixel, copy + 4 * i, 4);
        EXPECT_EQ(pixel & 0x00FFFFFF, 0x00102030u + (uint32_t)i) << i;
    }
    memory_free(copy);
    DeleteObject(device);
    EXPECT_EQ(bitmap_get_bits32((HBITMAP)0, &allocated), nullptr);
}

// The driver's picture path on the image library, end to end: image_load of a JPEG
// file, image_resize, image_save as JPEG, image_free, picture after picture as a batch
// goes. Each saved file must be, byte for byte, the plain references chained: the
// per-pixel decode, the overlap-measured stretch, the row-by-row encode at quality 70.
#include <gtest/gtest.h>

#include <string>

#include "codecs/jpeg/jpeg.h"
#include "image/resize.h"
#include "tests/support/image_helpers.h"
#include "tests/support/jpeg_maker.h"
#include "tests/support/pixel_reference.h"
#include "tests/support/temp_folder.h"

namespace {

// What the batch writes for that JPEG at that size, made by the references.
Bytes reference_path(const Bytes& jpeg, int32_t width, int32_t height) {
    int32_t source_width = 0, source_height = 0;
    reference_jpeg_size(jpeg, &source_width, &source_height);
    int32_t source_stride = dib_row_bytes(source_width, 24), stride = dib_row_bytes(width, 24);
    Bytes source((size_t)source_stride * source_height), target((size_t)stride * height);
    if (!reference_jpeg_decode(jpeg, source.data(), source_stride, &source_width, &source_height))
        return Bytes();
    reference_halftone(source.data(), source_width, source_height, source_stride, target.data(),
                       width, height, stride, 3);
    return reference_jpeg_encode(target.data(), width, height, stride, 70);
}

class PicturePath : public testing::Test {
  protected:
    void SetUp() override {
        jpeg_decoder_register();
        jpeg_encoder_register();
    }
    void TearDown() override { image_free(-1); }
};

}  // namespace

TEST_F(PicturePath, EveryPictureOfABatchIsTheReferencesChained) {
    // Sizes come back and alternate, so kept bitmaps and the kept file block are reused;
    // 641 pixels leave row padding in the DIBs.
    struct {
        TestJpegKind kind;
        int32_t width, height;
        bool marked = false;  // carries a profile, orientation 6 and a comment; the next one nothing
    } batch[] = {
        {{640, 480, JCS_YCbCr, 2, 2, false, 0, 92}, 160, 120},
        {{600, 400, JCS_YCbCr, 1, 1, false, 0, 85}, 160, 120, true},
        {{640, 480, JCS_YCbCr, 2, 1, false, 0, 80}, 160, 120},
        {{600, 400, JCS_YCbCr, 2, 2, true, 0, 90}, 213, 97},
        {{160, 120, JCS_YCbCr, 2, 2, false, 0, 95}, 641, 479},
        {{641, 479, JCS_GRAYSCALE, 1, 1, false, 0, 90}, 160, 120},
        {{160, 120, JCS_YCbCr, 1, 1, false, 0, 95}, 641, 479},
        {{640, 480, JCS_YCbCr, 2, 2, false, 2, 75}, 640, 480},
    };
    TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    std::string input = folder.file("in.jpg"), output = folder.file("out.jpg");
    // An RGB profile of two chunks as written, stored here as three out of order.
    Bytes profile(70000);
    for (size_t i = 0; i < profile.size(); i++) profile[i] = i / 4 == 4 ? "RGB "[i % 4] : (uint8_t)(i * 7 + i / 251);
    auto part = [&](size_t from, size_t to) { return Bytes(profile.begin() + from, profile.begin() + to); };
    uint32_t seed = 1;
    for (auto& step : batch) {
        Bytes jpeg = test_jpeg_photo(step.kind, seed++);
        ASSERT_TRUE(folder.write("in.jpg", !step.marked ? jpeg : jpeg_with_segments(jpeg, 2,
            {{0xE2, jpeg_icc_chunk(3, 3, part(50000, 70000))}, {0xE1, jpeg_exif(false, 8, 1, 0x0112, 6, 0)},
             {0xFE, {'G', 'P', 'S'}}, {0xE2, jpeg_icc_chunk(1, 3, part(0, 20000))},
             {0xE2, jpeg_icc_chunk(2, 3, part(20000, 50000))}})));
        ASSERT_NE(image_load(0, input.c_str()), 0) << seed;
        image_resize(0, step.width, step.height);
        ASSERT_EQ(image_save(0, output.c_str(), IMAGE_FORMAT_JPEG), 1) << seed;
        image_free(0);
        Bytes expected = reference_path(jpeg, step.width, step.height);
        ASSERT_FALSE(expected.empty());
        // Behind the JFIF header (20 bytes in): the one tag, then the profile in libjpeg's chunks.
        if (step.marked)
            expected = jpeg_with_segments(expected, 20, {{0xE1, jpeg_exif(true, 8, 1, 0x0112, 6, 0)},
                {0xE2, jpeg_icc_chunk(1, 2, part(0, 65519))}, {0xE2, jpeg_icc_chunk(2, 2, part(65519, 70000))}});
        EXPECT_TRUE(folder.read("out.jpg") == expected)
            << step.kind.width << "x" << step.kind.height << " to " << step.width << "x"
            << step.height << ": the saved file differs from the references'";

        // A damaged file in between (cut short, then junk) leaves nothing behind in the next
        // picture, whether libjpeg fills its tail or gives up on it.
        Bytes damaged(jpeg.begin(), jpeg.begin() + jpeg.size() / 3);
        damaged.insert(damaged.end(), 64, 0xFF);
        ASSERT_TRUE(folder.write("in.jpg", damaged));
        image_load(0, input.c_str());
        image_free(0);
    }
}

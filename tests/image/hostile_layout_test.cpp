// Damaged BMP and icon files: the header checks refuse them or promise only ranges that
// lie within the data. Each case is its own exactly sized block, so a promise beyond
// the data is an out-of-bounds read that the sanitizers report.
#include <gtest/gtest.h>

#include <memory>

#include "image/bmp.h"
#include "tests/support/pictures.h"

namespace {

// Reads every byte of a promised range.
uint32_t touch(const uint8_t* data, uint32_t offset, uint32_t size) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < size; i++) sum += data[offset + i];
    return sum;
}

}  // namespace

TEST(HostileFiles, ValidFilesAreAllTaken) {
    for (const Bytes& file : test_valid_files()) {
        BmpLayout layout;
        IconImage image;
        EXPECT_TRUE(bmp_parse(file.data(), (uint32_t)file.size(), &layout) ||
                    icon_choose(file.data(), (uint32_t)file.size(), &image));
    }
}

TEST(HostileFiles, AreRefusedOrStayWithinTheirData) {
    std::vector<Bytes> corpus = test_hostile_corpus();
    ASSERT_GT(corpus.size(), 5000u);
    int taken = 0, refused = 0;
    uint32_t sum = 0;
    for (const Bytes& file : corpus) {
        std::unique_ptr<uint8_t[]> data(new uint8_t[file.size() ? file.size() : 1]);
        if (!file.empty()) memcpy(data.get(), file.data(), file.size());
        uint32_t size = (uint32_t)file.size();
        BmpLayout layout;
        IconImage image;
        if (bmp_parse(data.get(), size, &layout)) {
            taken++;
            ASSERT_GE(layout.width, 1);
            ASSERT_LE(layout.width, IMAGE_MAX_SIDE);
            ASSERT_NE(layout.height, 0);
            ASSERT_LE(layout.height < 0 ? -layout.height : layout.height, IMAGE_MAX_SIDE);
            sum += touch(data.get(), BMP_FILE_HEADER_SIZE, layout.info_bytes);
            sum += touch(data.get(), layout.pixel_offset, layout.pixel_bytes);
        } else if (icon_choose(data.get(), size, &image)) {
            taken++;
            sum += touch(data.get(), image.offset, image.size);
            if (!image.is_png) {
                ASSERT_GE(image.desired_width, 1);
                ASSERT_LE(image.desired_width, IMAGE_MAX_SIDE);
                ASSERT_GE(image.desired_height, 1);
                ASSERT_LE(image.desired_height, IMAGE_MAX_SIDE);
            }
        } else {
            refused++;
        }
    }
    // Both outcomes occur in numbers: the corpus reaches past the first checks.
    EXPECT_GT(taken, 1000);
    EXPECT_GT(refused, 1000);
    RecordProperty("checksum", (int)sum);
}

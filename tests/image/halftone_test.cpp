// The halftone stretch against the plain reference that measures the overlap of every
// source pixel with every target pixel: its fast paths (16- and 32-bit sums, float and
// exact rounding, rows reused when enlarging) must give the reference's bytes.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <random>
#include <vector>

#include "image/halftone.h"
#include "image/halftone_paths.h"
#include "runtime/platform.h"
#include "tests/support/pixel_reference.h"

namespace {

struct Picture {
    int32_t width, height, channels, stride;
    std::vector<uint8_t> bytes;
    Picture(int32_t w, int32_t h, int32_t c, int32_t padding = 0)
        : width(w), height(h), channels(c), stride(((w * c + 3) & ~3) + padding),
          bytes((size_t)stride * h, 0xEE) {}
    uint8_t* at(int32_t x, int32_t y) { return &bytes[(size_t)y * stride + (size_t)x * channels]; }
};

void fill_random(Picture& p, unsigned seed) {
    std::mt19937 random(seed);
    for (int32_t y = 0; y < p.height; y++)
        for (int32_t x = 0; x < p.width * p.channels; x++) p.at(0, y)[x] = (uint8_t)random();
}

int32_t stretch(Picture& in, Picture& out) {
    return halftone_stretch(in.bytes.data(), in.width, in.height, in.stride, out.bytes.data(),
                            out.width, out.height, out.stride, in.channels);
}

uint8_t reference(Picture& in, int32_t tw, int32_t th, int32_t x, int32_t y, int32_t ch) {
    return reference_halftone_at(in.bytes.data(), in.width, in.height, in.stride, tw, th,
                                 in.channels, x, y, ch);
}

// The whole target, padding included, against the reference written into the same
// padding; the first differing byte is named. The SSE2 and the plain compile each give
// it too, whichever one this processor makes halftone_stretch take; the SSE2 one only
// where the processor has SSE2, as the program asks, or it would stop the test.
void expect_reference_bytes(Picture& in, Picture& out, const char* name) {
    const int32_t padding = out.stride - ((out.width * out.channels + 3) & ~3);
    Picture expected(out.width, out.height, out.channels, padding);
    reference_halftone(in.bytes.data(), in.width, in.height, in.stride, expected.bytes.data(),
                       out.width, out.height, out.stride, in.channels);
    const bool sse2 = IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
    for (HalftoneStretch* path : {halftone_stretch_sse2, halftone_stretch_plain}) {
        if (path == halftone_stretch_sse2 && !sse2) continue;
        Picture again(out.width, out.height, out.channels, padding);
        ASSERT_EQ(path(in.bytes.data(), in.width, in.height, in.stride, again.bytes.data(), out.width, out.height, out.stride, in.channels), 1);
        EXPECT_TRUE(again.bytes == expected.bytes) << name << (path == halftone_stretch_sse2 ? " by SSE2: " : " plainly: ")
                                                   << in.width << "x" << in.height << " to " << out.width << "x" << out.height;
    }
    for (size_t i = 0; i < out.bytes.size(); i++)
        if (out.bytes[i] != expected.bytes[i]) {
            ADD_FAILURE() << name << ": " << in.width << "x" << in.height << " to " << out.width
                          << "x" << out.height << " at " << in.channels << " channels differs at row "
                          << i / out.stride << ", byte " << i % out.stride << ": "
                          << (int)out.bytes[i] << " instead of " << (int)expected.bytes[i];
            return;
        }
}

}  // namespace

TEST(Halftone, SameSizeCopiesAndLeavesPaddingAlone) {
    Picture in(5, 3, 3, 4), out(5, 3, 3, 8);
    fill_random(in, 1);
    ASSERT_EQ(stretch(in, out), 1);
    for (int32_t y = 0; y < 3; y++) {
        EXPECT_EQ(memcmp(out.at(0, y), in.at(0, y), 15), 0) << y;
        for (int32_t pad = 15; pad < out.stride; pad++) EXPECT_EQ(out.at(0, y)[pad], 0xEE);
    }
}

TEST(Halftone, HalvingAveragesEachBlockAndRoundsHalfUp) {
    Picture in(2, 2, 3), out(1, 1, 3);
    uint8_t values[4][3] = {{0, 0, 10}, {1, 0, 11}, {1, 1, 12}, {1, 1, 13}};
    for (int i = 0; i < 4; i++) memcpy(in.at(i % 2, i / 2), values[i], 3);
    ASSERT_EQ(stretch(in, out), 1);
    EXPECT_EQ(out.at(0, 0)[0], 1);   // 0.75
    EXPECT_EQ(out.at(0, 0)[1], 1);   // 0.5 rounds up
    EXPECT_EQ(out.at(0, 0)[2], 12);  // 11.5 rounds up
}

TEST(Halftone, ThreeToTwoWeighsByCoveredArea) {
    Picture in(3, 1, 3), out(2, 1, 3);
    uint8_t row[] = {90, 90, 90, 30, 30, 30, 0, 0, 0};
    memcpy(in.at(0, 0), row, 9);
    ASSERT_EQ(stretch(in, out), 1);
    EXPECT_EQ(out.at(0, 0)[0], 70);  // (2*90 + 30) / 3
    EXPECT_EQ(out.at(1, 0)[0], 10);  // (30 + 2*0) / 3
}

TEST(Halftone, EnlargingRepeatsAndBlendsOnlyAtBoundaries) {
    Picture in(2, 1, 4), out(3, 2, 4);
    uint8_t row[] = {0, 0, 0, 0, 200, 100, 50, 255};
    memcpy(in.at(0, 0), row, 8);
    ASSERT_EQ(stretch(in, out), 1);
    for (int32_t y = 0; y < 2; y++) {
        EXPECT_EQ(out.at(0, y)[0], 0);
        EXPECT_EQ(out.at(1, y)[0], 100);  // half of each source pixel
        EXPECT_EQ(out.at(1, y)[3], 128);  // alpha is averaged too
        EXPECT_EQ(out.at(2, y)[1], 100);
    }
}

TEST(Halftone, UniformPicturesStayUniformAtAnyScale) {
    struct { int32_t sw, sh, tw, th; } cases[] = {{7, 5, 3, 2}, {3, 2, 7, 5}, {1, 1, 9, 4}, {31, 17, 1, 1}, {640, 480, 97, 13}};
    for (auto c : cases) {
        Picture in(c.sw, c.sh, 3), out(c.tw, c.th, 3);
        for (int32_t y = 0; y < c.sh; y++)
            for (int32_t x = 0; x < c.sw; x++) memcpy(in.at(x, y), "\x12\x80\xFF", 3);
        ASSERT_EQ(stretch(in, out), 1);
        for (int32_t y = 0; y < c.th; y++)
            for (int32_t x = 0; x < c.tw; x++)
                ASSERT_EQ(memcmp(out.at(x, y), "\x12\x80\xFF", 3), 0) << c.sw << "x" << c.sh;
    }
}

TEST(Halftone, MatchesTheOverlapReferenceOnRandomSizes) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; round++) {
        int32_t channels = round % 2 ? 4 : 3;
        Picture in(1 + random() % 37, 1 + random() % 29, channels);
        Picture out(1 + random() % 41, 1 + random() % 23, channels, round % 3);
        fill_random(in, round);
        ASSERT_EQ(stretch(in, out), 1);
        expect_reference_bytes(in, out, "random");
    }
}

// Sizes that take each path: whole and fractional ratios both ways, sums that need 32
// bits, divisors on both sides of the float rounding's limit, one axis growing while
// the other shrinks, single rows and columns.
TEST(Halftone, MatchesTheReferenceOnEveryPath) {
    struct {
        const char* name;
        int32_t sw, sh, tw, th;
    } cases[] = {
        {"whole reduction", 384, 240, 64, 48},
        {"camera-like reduction", 364, 240, 64, 48},
        {"divisor just below the float limit", 254, 258, 2, 2},
        {"divisor just past the float limit", 290, 226, 2, 2},
        {"column sums past 16 bits", 40, 600, 10, 2},
        {"fractional reduction, many rows a target row", 50, 250, 7, 23},
        {"whole enlargement", 64, 48, 384, 240},
        {"fractional enlargement", 40, 30, 97, 71},
        {"row sums past 16 bits", 300, 2, 301, 5},
        {"enlargement past the float limit", 131, 127, 300, 300},
        {"grows down, shrinks across", 300, 20, 70, 90},
        {"shrinks down, grows across", 20, 300, 90, 70},
        {"same height", 50, 40, 33, 40},
        {"same width", 50, 40, 50, 17},
        {"one source pixel", 1, 1, 9, 4},
        {"one target pixel", 31, 17, 1, 1},
        {"one row", 100, 1, 7, 3},
        {"one column", 1, 100, 3, 7},
    };
    for (auto c : cases)
        for (int32_t channels = 3; channels <= 4; channels++)
            for (int32_t padding = 0; padding <= 5; padding += 5) {
                Picture in(c.sw, c.sh, channels, padding), out(c.tw, c.th, channels, padding);
                fill_random(in, (unsigned)(c.sw * 31 + c.th + channels));
                ASSERT_EQ(stretch(in, out), 1) << c.name;
                expect_reference_bytes(in, out, c.name);
            }
}

TEST(Halftone, PhotographLikePicturesMatchTheReference) {
    // Smooth areas and hard edges, as a camera gives them, bottom-up 24-bit rows.
    struct {
        int32_t sw, sh, tw, th;
    } cases[] = {{480, 300, 80, 60}, {455, 300, 80, 60}, {80, 60, 480, 300}, {77, 61, 300, 229}};
    for (auto c : cases) {
        Picture in(c.sw, c.sh, 3), out(c.tw, c.th, 3);
        in.bytes = test_photo_pixels(c.sw, c.sh, in.stride, 5);
        ASSERT_EQ(stretch(in, out), 1);
        expect_reference_bytes(in, out, "photograph");
    }
}

TEST(Halftone, WideSumsForCoprimeSizesStayExact) {
    // 9001 to 9000 across and 1001 to 1000 down: the weights' product needs 64-bit sums.
    // The plain compile gives the same bytes.
    Picture in(9001, 1001, 3), out(9000, 1000, 3), plain(9000, 1000, 3);
    fill_random(in, 99);
    ASSERT_EQ(stretch(in, out), 1);
    ASSERT_EQ(halftone_stretch_plain(in.bytes.data(), 9001, 1001, in.stride, plain.bytes.data(), 9000, 1000, plain.stride, 3), 1);
    EXPECT_TRUE(plain.bytes == out.bytes);
    std::mt19937 random(3);
    for (int probe = 0; probe < 300; probe++) {
        int32_t x = random() % 9000, y = random() % 1000, ch = random() % 3;
        ASSERT_EQ(out.at(x, y)[ch], reference(in, 9000, 1000, x, y, ch)) << x << "," << y;
    }
}

TEST(Halftone, RefusesBadSizesAndChannels) {
    Picture in(2, 2, 3), out(1, 1, 3);
    EXPECT_EQ(halftone_stretch(in.bytes.data(), 0, 2, in.stride, out.bytes.data(), 1, 1, out.stride, 3), 0);
    EXPECT_EQ(halftone_stretch(in.bytes.data(), 2, 2, in.stride, out.bytes.data(), 1, -1, out.stride, 3), 0);
    EXPECT_EQ(halftone_stretch(in.bytes.data(), 2, 2, in.stride, out.bytes.data(), 1, 1, out.stride, 2), 0);
    // Beyond 65535 a weight would not fit its 16 bits; nothing is read or written.
    EXPECT_EQ(halftone_stretch(in.bytes.data(), 65536, 2, in.stride, out.bytes.data(), 1, 1, out.stride, 3), 0);
    EXPECT_EQ(halftone_stretch(in.bytes.data(), 2, 2, in.stride, out.bytes.data(), 1, 65536, out.stride, 3), 0);
}

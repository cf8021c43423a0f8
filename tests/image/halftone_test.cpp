// The halftone stretch against a plain reference that measures the overlap of every
// source pixel with every target pixel.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <random>
#include <vector>

#include "image/halftone.h"

namespace {

struct Picture {
    int32_t width, height, channels, stride;
    std::vector<uint8_t> bytes;
    Picture(int32_t w, int32_t h, int32_t c, int32_t padding = 0)
        : width(w), height(h), channels(c), stride(((w * c + 3) & ~3) + padding),
          bytes((size_t)stride * h, 0xEE) {}
    uint8_t* at(int32_t x, int32_t y) { return &bytes[(size_t)y * stride + (size_t)x * channels]; }
};

// Overlap of [i*s, (i+1)*s) with [k*t, (k+1)*t): target index i, source index k.
int64_t overlap(int64_t i, int64_t k, int64_t s, int64_t t) {
    int64_t low = std::max(i * s, k * t), high = std::min((i + 1) * s, (k + 1) * t);
    return high > low ? high - low : 0;
}

// Round half up of the coverage-weighted mean, for one target pixel.
uint8_t reference(Picture& in, int32_t tw, int32_t th, int32_t x, int32_t y, int32_t ch) {
    int64_t sum = 0;
    int64_t x0 = (int64_t)x * in.width / tw, y0 = (int64_t)y * in.height / th;
    for (int64_t k = y0; k < in.height && k * th < (int64_t)(y + 1) * in.height; k++)
        for (int64_t m = x0; m < in.width && m * tw < (int64_t)(x + 1) * in.width; m++)
            sum += overlap(x, m, in.width, tw) * overlap(y, k, in.height, th) * in.at((int32_t)m, (int32_t)k)[ch];
    int64_t area = (int64_t)in.width * in.height;
    return (uint8_t)((2 * sum + area) / (2 * area));
}

void fill_random(Picture& p, unsigned seed) {
    std::mt19937 random(seed);
    for (int32_t y = 0; y < p.height; y++)
        for (int32_t x = 0; x < p.width * p.channels; x++) p.at(0, y)[x] = (uint8_t)random();
}

int32_t stretch(Picture& in, Picture& out) {
    return halftone_stretch(in.bytes.data(), in.width, in.height, in.stride, out.bytes.data(),
                            out.width, out.height, out.stride, in.channels);
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
        Picture out(1 + random() % 41, 1 + random() % 23, channels);
        fill_random(in, round);
        ASSERT_EQ(stretch(in, out), 1);
        for (int32_t y = 0; y < out.height; y++)
            for (int32_t x = 0; x < out.width; x++)
                for (int32_t ch = 0; ch < channels; ch++)
                    ASSERT_EQ(out.at(x, y)[ch], reference(in, out.width, out.height, x, y, ch))
                        << in.width << "x" << in.height << " to " << out.width << "x"
                        << out.height << " at " << x << "," << y;
    }
}

TEST(Halftone, WideSumsForCoprimeSizesStayExact) {
    // 9001 to 9000 across and 1001 to 1000 down: the weights' product needs 64-bit sums.
    Picture in(9001, 1001, 3), out(9000, 1000, 3);
    fill_random(in, 99);
    ASSERT_EQ(stretch(in, out), 1);
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
}

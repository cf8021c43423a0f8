// Row sizes of every depth and pixels flattened over white.
#include <gtest/gtest.h>

#include <string.h>

#include "image/pixels.h"

TEST(DibRowBytes, FollowsEachDepthsPacking) {
    struct { int32_t width, depth, bytes; } cases[] = {
        {1, 1, 4},   {32, 1, 4},   {33, 1, 8},   {64, 1, 8},  {65, 1, 12},
        {1, 4, 4},   {8, 4, 4},    {9, 4, 8},    {17, 4, 12},
        {1, 8, 4},   {4, 8, 4},    {5, 8, 8},    {13, 8, 16},
        {1, 15, 4},  {2, 15, 4},   {3, 15, 8},   {1, 16, 4},  {3, 16, 8}, {5, 16, 12},
        {1, 24, 4},  {3, 24, 12},  {4, 24, 12},  {5, 24, 16}, {7, 24, 24},
        {1, 32, 4},  {5, 32, 20},  {5, 0, 20},   {5, 2, 20},  {5, 48, 20},
        {0, 24, 0},  {0, 1, 0},    {32767, 24, 98304}, {32767, 1, 4096},
    };
    for (auto c : cases) {
        EXPECT_EQ(dib_row_bytes(c.width, c.depth), c.bytes) << c.width << " at " << c.depth;
        EXPECT_EQ(dib_row_bytes(c.width, c.depth) % 4, 0);
    }
}

TEST(DibRowBytes, HoldsEveryPixelWithLessThanFourBytesToSpare) {
    for (int32_t depth : {1, 4, 8, 16, 24, 32})
        for (int32_t width = 1; width < 200; width++) {
            int64_t bits = (int64_t)width * depth;
            int32_t bytes = dib_row_bytes(width, depth);
            EXPECT_GE(bytes * 8, bits) << width << " at " << depth;
            EXPECT_LT(bytes * 8 - bits, 32) << width << " at " << depth;
        }
}

TEST(FlattenOverWhite, LaysAlphaOverWhite) {
    struct { int32_t colour, alpha, expected; } cases[] = {
        {0, 0, 255}, {0, 255, 0}, {200, 128, 227}, {100, 255, 100}, {0, 1, 254}, {0, 128, 127},
    };
    for (auto c : cases)
        EXPECT_EQ(flatten_over_white(c.colour, c.alpha), c.expected) << c.colour << "," << c.alpha;
    for (int32_t alpha = 0; alpha < 256; alpha++) {
        EXPECT_EQ(flatten_over_white(255, alpha), 255) << alpha;
        EXPECT_EQ(flatten_over_white(0, alpha), 255 - alpha) << alpha;
    }
    for (int32_t colour = 0; colour < 256; colour++) {
        EXPECT_EQ(flatten_over_white(colour, 255), colour);
        EXPECT_EQ(flatten_over_white(colour, 0), 255);
    }
}

TEST(PixelRowFlatten, Flattens32BitAndCopies24Bit) {
    const uint8_t in32[] = {10, 20, 30, 255, 0, 0, 0, 0, 200, 200, 200, 128};
    uint8_t out[12];
    memset(out, 0xEE, sizeof out);
    pixel_row_flatten(out, 3, in32, 32, 3);
    const uint8_t flat[] = {10, 20, 30, 255, 255, 255, 227, 227, 227};
    EXPECT_EQ(0, memcmp(out, flat, sizeof flat));
    EXPECT_EQ(out[9], 0xEE);  // nothing beyond the row

    pixel_row_flatten(out, 4, in32, 32, 3);
    const uint8_t flat4[] = {10, 20, 30, 0, 255, 255, 255, 0, 227, 227, 227, 0};
    EXPECT_EQ(0, memcmp(out, flat4, sizeof flat4));

    const uint8_t in24[] = {1, 2, 3, 4, 5, 6};
    pixel_row_flatten(out, 4, in24, 24, 2);
    const uint8_t copy4[] = {1, 2, 3, 0, 4, 5, 6, 0};
    EXPECT_EQ(0, memcmp(out, copy4, sizeof copy4));
}

// The bicubic resampler: kernel, contribution tables, the two passes and their order.
#include <gtest/gtest.h>

#include <vector>

#include "image/resample.h"

TEST(Mitchell, CoefficientsAndKernelValues) {
    mitchell_setup(1.0 / 3, 1.0 / 3);
    EXPECT_DOUBLE_EQ(mitchell_p0, 8.0 / 9);
    EXPECT_DOUBLE_EQ(mitchell_p2, -2.0);
    EXPECT_DOUBLE_EQ(mitchell_p3, 7.0 / 6);
    EXPECT_DOUBLE_EQ(mitchell_q0, 16.0 / 9);
    EXPECT_DOUBLE_EQ(mitchell_q1, -10.0 / 3);
    EXPECT_DOUBLE_EQ(mitchell_q2, 2.0);
    EXPECT_DOUBLE_EQ(mitchell_q3, -7.0 / 18);
    struct { double x, k; } cases[] = {
        {0, 8.0 / 9}, {0.5, 77.0 / 144}, {-0.5, 77.0 / 144}, {1, 1.0 / 18},
        {1.5, -5.0 / 144}, {-1.5, -5.0 / 144}, {2, 0}, {2.5, 0}, {-7, 0},
    };
    for (auto c : cases) EXPECT_NEAR(mitchell_filter(c.x), c.k, 1e-12) << c.x;
}

TEST(Contributions, ReducingFourToOne) {
    Contribution* table = resample_contributions(1, 4);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[0].first, 0);
    EXPECT_EQ(table[0].last, 3);
    double expected[] = {0.2188, 0.2812, 0.2812, 0.2188};
    for (int k = 0; k < 4; k++) EXPECT_NEAR(table[0].weights[k], expected[k], 1e-4) << k;
    resample_contributions_free(table, 1);

    uint8_t row[] = {10, 20, 30, 40}, out = 0;
    ASSERT_EQ(resample_rows(1, row, 4, &out, 1, 1), 1);
    EXPECT_EQ(out, 25);
}

TEST(Contributions, EnlargingOnePixelGivesUnitWeights) {
    Contribution* table = resample_contributions(7, 1);
    ASSERT_NE(table, nullptr);
    for (int i = 0; i < 7; i++) {
        EXPECT_EQ(table[i].first, 0);
        EXPECT_EQ(table[i].last, 0);
        EXPECT_DOUBLE_EQ(table[i].weights[0], 1.0);
    }
    resample_contributions_free(table, 7);
}

TEST(Contributions, WeightsSumToOneAndStayInRange) {
    struct { int32_t target, source; } cases[] = {{1, 1}, {3, 10}, {10, 3}, {640, 3000}, {97, 13}, {1, 5000}};
    for (auto c : cases) {
        Contribution* table = resample_contributions(c.target, c.source);
        ASSERT_NE(table, nullptr);
        for (int32_t i = 0; i < c.target; i++) {
            ASSERT_GE(table[i].first, 0);
            ASSERT_LE(table[i].last, c.source - 1);
            ASSERT_LE(table[i].first, table[i].last);
            double sum = 0;
            for (int32_t k = table[i].first; k <= table[i].last; k++)
                sum += table[i].weights[k - table[i].first];
            EXPECT_NEAR(sum, 1.0, 1e-9) << c.target << " from " << c.source << " at " << i;
        }
        resample_contributions_free(table, c.target);
    }
}

TEST(ResampleRows, EnlargingARampOvershootsAndClamps) {
    uint8_t row[] = {0, 255}, out[4];
    ASSERT_EQ(resample_rows(1, row, 2, out, 4, 1), 1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 63);
    EXPECT_EQ(out[2], 192);
    EXPECT_EQ(out[3], 255);
}

TEST(ResampleRows, ChannelsAreResampledIndependently) {
    // Four channels at once give what each channel gives alone.
    uint8_t row[5 * 4];
    for (int i = 0; i < 20; i++) row[i] = (uint8_t)(i * 53 % 256);
    uint8_t together[3 * 4];
    ASSERT_EQ(resample_rows(1, row, 5, together, 3, 4), 1);
    for (int ch = 0; ch < 4; ch++) {
        uint8_t alone_in[5], alone_out[3];
        for (int i = 0; i < 5; i++) alone_in[i] = row[i * 4 + ch];
        ASSERT_EQ(resample_rows(1, alone_in, 5, alone_out, 3, 1), 1);
        for (int i = 0; i < 3; i++) EXPECT_EQ(together[i * 4 + ch], alone_out[i]) << ch << "," << i;
    }
    EXPECT_EQ(resample_rows(1, row, 2, together, 3, 5), 0);  // at most four channels
}

TEST(Resample2d, PicksTheSmallerIntermediateFirst) {
    // 4x2 to 2x4: 2*2 <= 4*4, so rows first; 2x4 to 4x2 the other way round.
    std::vector<uint8_t> source(4 * 2 * 4);
    for (size_t i = 0; i < source.size(); i++) source[i] = (uint8_t)(i * 37 % 251);
    std::vector<uint8_t> out(2 * 4 * 4), middle(2 * 2 * 4), expected(2 * 4 * 4);
    ASSERT_EQ(resample_2d(32, source.data(), 4, 2, out.data(), 2, 4), 1);
    resample_rows(2, source.data(), 4, middle.data(), 2, 4);
    resample_columns(middle.data(), 2, 2, expected.data(), 2, 4, 4);
    EXPECT_EQ(out, expected);

    std::vector<uint8_t> back(4 * 2 * 4), middle2(2 * 2 * 4), expected2(4 * 2 * 4);
    ASSERT_EQ(resample_2d(32, out.data(), 2, 4, back.data(), 4, 2), 1);
    resample_columns(out.data(), 2, 4, middle2.data(), 2, 2, 4);
    resample_rows(2, middle2.data(), 2, expected2.data(), 4, 4);
    EXPECT_EQ(back, expected2);
}

TEST(Resample2d, KeepsUniformPicturesAndAlpha) {
    struct { uint32_t pixel; } cases[] = {{0x00FFFFFF}, {0xFF123456}, {0x80402010}};
    for (auto c : cases) {
        std::vector<uint32_t> source(13 * 7, c.pixel), target(5 * 11);
        ASSERT_EQ(resample_2d(32, (const uint8_t*)source.data(), 13, 7, (uint8_t*)target.data(), 5, 11), 1);
        for (uint32_t p : target) ASSERT_EQ(p, c.pixel);
    }
}

TEST(Resample2d, RefusesEmptySizes) {
    uint8_t pixel[4] = {}, out[4] = {};
    EXPECT_EQ(resample_2d(32, pixel, 0, 1, out, 1, 1), 0);
    EXPECT_EQ(resample_2d(32, pixel, 1, 1, out, 1, 0), 0);
}

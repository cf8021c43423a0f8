// The palette quantiser: the gamma space, the sampling factor, the 1-bit threshold, the
// learned palette and its index, row packing and dithering.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <vector>

#include "image/quantiser.h"
#include "tests/support/pictures.h"
#include "tests/support/quantiser_reference.h"

namespace {

// Packed 32-bit pixels (blue, green, red, alpha) of a test picture.
std::vector<uint8_t> pixels32(const TestPicture& p) {
    std::vector<uint8_t> out;
    for (uint32_t v : p.pixels)
        for (int c = 0; c < 4; c++) out.push_back((uint8_t)(v >> (8 * c)));
    return out;
}

// 24-bit rows padded to pitch.
std::vector<uint8_t> pixels24(const TestPicture& p, int32_t pitch) {
    std::vector<uint8_t> out((size_t)pitch * p.height, 0xCD);
    for (int32_t y = 0; y < p.height; y++)
        for (int32_t x = 0; x < p.width; x++)
            for (int c = 0; c < 3; c++) out[(size_t)y * pitch + 3 * x + c] = (uint8_t)(p.at(x, y) >> (8 * c));
    return out;
}

// Every index of every row, unpacked.
std::vector<int> all_indices(Quantiser* q) {
    std::vector<int> out;
    int32_t depth = q->target_depth;
    for (int32_t y = 0; y < q->height; y++) {
        const uint8_t* row = quantiser_row(q, y);
        for (int32_t x = 0; x < q->width; x++) {
            int32_t bit = x * depth;
            out.push_back((row[bit / 8] >> (8 - depth - bit % 8)) & ((1 << depth) - 1));
        }
    }
    return out;
}

struct QuantiserDeleter {
    void operator()(Quantiser* q) const { quantiser_free(q); }
};
typedef std::unique_ptr<Quantiser, QuantiserDeleter> QuantiserPtr;

QuantiserPtr make(const std::vector<uint8_t>& pixels, const TestPicture& p, int32_t depth,
                  int32_t options = 0) {
    return QuantiserPtr(quantiser_create(pixels.data(), p.width, p.height, 32, p.width * 4, depth, options));
}

}  // namespace

TEST(Quantiser, GammaTableHoldsTheGammaSpaceValues) {
    uint8_t pixel[4] = {0, 0, 0, 255};
    Network* network = network_create(pixel, 4, 16, QUANTISER_GAMMA);
    ASSERT_NE(network, nullptr);
    struct { int v; double expected; } cases[] = {{0, 0}, {1, 12}, {16, 55}, {64, 118}, {128, 174}, {255, 255}};
    for (auto c : cases) EXPECT_EQ(network->gamma_table[c.v], c.expected) << c.v;
    for (int v = 1; v < 256; v++) EXPECT_GE(network->gamma_table[v], network->gamma_table[v - 1]) << v;
    network_free(network);
}

TEST(Quantiser, UnbiasTakesGammaSpaceBackToBytes) {
    uint8_t pixel[4] = {0, 0, 0, 255};
    Network* network = network_create(pixel, 4, 16, QUANTISER_GAMMA);
    ASSERT_NE(network, nullptr);
    struct { int v, back; } cases[] = {{0, 0}, {1, 1}, {16, 16}, {128, 128}, {255, 255}, {64, 63}};
    for (auto c : cases) EXPECT_EQ(unbias(network->gamma_table[c.v], QUANTISER_GAMMA), c.back) << c.v;
    network_free(network);
    EXPECT_EQ(unbias(-0.5, QUANTISER_GAMMA), 0);
    EXPECT_EQ(unbias(300, QUANTISER_GAMMA), 255);
    EXPECT_EQ(round_alpha(-3), 0);
    EXPECT_EQ(round_alpha(0), 0);
    EXPECT_EQ(round_alpha(128), 128);
    EXPECT_EQ(round_alpha(254.9), 255);
    EXPECT_EQ(round_alpha(255), 255);
}

TEST(Quantiser, SamplesLargePicturesUpToOneInTen) {
    struct { int32_t width, height, factor; } cases[] = {
        {300, 300, 1}, {2000, 2000, 10}, {511, 512, 1}, {512, 512, 2},
        {1, 2359295, 9}, {1536, 1536, 10}, {32767, 32767, 10}, {1, 1, 1},
    };
    for (auto c : cases)
        EXPECT_EQ(quantiser_sampling_factor(c.width, c.height), c.factor) << c.width << "x" << c.height;
}

TEST(Quantiser, OneBitIsBlackAndWhiteByLuminance) {
    // blue, green, red, alpha
    struct { uint8_t pixel[4]; int index; } cases[] = {
        {{0, 0, 255, 255}, 0},        // luminance 54.2
        {{255, 255, 0, 255}, 1},      // 200.8
        {{160, 160, 160, 255}, 0},    // exactly 160 is not above it
        {{161, 161, 161, 255}, 1},
        {{255, 255, 255, 0}, 1},      // alpha plays no part
        {{0, 0, 0, 255}, 0},
    };
    std::vector<uint8_t> pixels;
    for (auto& c : cases) pixels.insert(pixels.end(), c.pixel, c.pixel + 4);
    TestPicture shape{(int32_t)(sizeof cases / sizeof cases[0]), 1, {}};
    QuantiserPtr q = make(pixels, shape, 1);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->network, nullptr);
    const uint8_t black[4] = {0, 0, 0, 0}, white[4] = {255, 255, 255, 0};
    EXPECT_EQ(0, memcmp(q->palette[0], black, 4));
    EXPECT_EQ(0, memcmp(q->palette[1], white, 4));
    std::vector<int> indices = all_indices(q.get());
    for (size_t i = 0; i < indices.size(); i++) EXPECT_EQ(indices[i], cases[i].index) << i;
}

TEST(Quantiser, PacksRowsFirstPixelHighAndPadsWithZero) {
    // Ten pixels white, black, white, ...: 1010 1010 10.. ....
    TestPicture p{10, 1, {}};
    for (int x = 0; x < 10; x++) p.pixels.push_back(x % 2 ? 0xFF000000u : 0xFFFFFFFFu);
    std::vector<uint8_t> pixels = pixels32(p);
    QuantiserPtr q = make(pixels, p, 1);
    const uint8_t* row = quantiser_row(q.get(), 0);
    EXPECT_EQ(row[0], 0xAA);
    EXPECT_EQ(row[1], 0x80);
    EXPECT_EQ(row[2], 0);
    EXPECT_EQ(row[3], 0);

    // 4 bits: two indices a byte, the first in the high nibble.
    TestPicture g = test_picture_gradient(7, 3);
    std::vector<uint8_t> colours = pixels32(g);
    QuantiserPtr q4 = make(colours, g, 4);
    ASSERT_NE(q4, nullptr);
    for (int32_t y = 0; y < g.height; y++) {
        const uint8_t* packed = quantiser_row(q4.get(), y);
        for (int32_t x = 0; x < g.width; x++) {
            const uint8_t* c = &colours[(size_t)(y * g.width + x) * 4];
            int expected = network_search(q4->network, c[3], c[2], c[1], c[0]);
            int got = x % 2 ? packed[x / 2] & 15 : packed[x / 2] >> 4;
            EXPECT_EQ(got, expected) << x << "," << y;
        }
        EXPECT_EQ(packed[3] & 15, 0) << "the nibble beyond the width";
    }
}

TEST(Quantiser, OneColourGivesOneIndexAndThatColour) {
    const uint32_t colours[] = {0xFF000000u, 0xFFFFFFFFu, 0xFF3080C0u, 0xFFFF0000u, 0xFF12E456u};
    for (int32_t depth : {4, 8})
        for (int32_t options : {0, (int)QUANTISER_DITHER})
            for (uint32_t colour : colours) {
                TestPicture p = test_picture_filled(37, 23, colour);
                std::vector<uint8_t> pixels = pixels32(p);
                QuantiserPtr q = make(pixels, p, depth, options);
                ASSERT_NE(q, nullptr);
                std::vector<int> indices = all_indices(q.get());
                // Dithering may alternate between neurons that learned the same colour.
                if (!options) {
                    for (int index : indices) ASSERT_EQ(index, indices[0]) << std::hex << colour << " at " << depth;
                }
                for (int index : indices)
                    for (int c = 0; c < 3; c++)
                        ASSERT_NEAR(q->palette[index][c], (colour >> (8 * c)) & 255, 3)
                            << std::hex << colour << " channel " << c << " at " << std::dec << depth
                            << " options " << options;
            }
}

TEST(Quantiser, FourBitIndicesStayBelowSixteen) {
    TestPicture p = test_picture_gradient(64, 48);
    std::vector<uint8_t> pixels = pixels32(p);
    QuantiserPtr q = make(pixels, p, 4);
    ASSERT_NE(q, nullptr);
    ASSERT_EQ(q->network->size, 16u);
    for (int g = 0; g < 256; g++) {
        EXPECT_GE(q->network->green_index[g], 0) << g;
        EXPECT_LT(q->network->green_index[g], 16) << g;
    }
    for (int a : {0, 1, 128, 255})
        for (int r = 0; r < 256; r += 15)
            for (int g = 0; g < 256; g++)
                for (int b = 0; b < 256; b += 51) {
                    int index = network_search(q->network, a, r, g, b);
                    ASSERT_GE(index, 0);
                    ASSERT_LT(index, 16) << a << "," << r << "," << g << "," << b;
                }
}

// A deliberate mend: read plainly, the search ends both sides once one side's green term
// exceeds the best distance, and misses nearer entries on the other side.
TEST(Quantiser, SearchFindsTheNearestEntryInItsOwnMeasure) {
    // The search stops early on each side; it must still find what a full scan finds:
    // the least w(a) * colour terms + alpha term over the gamma-space search colours.
    TestPicture half = test_picture_gradient(64, 48);
    for (size_t i = 0; i < half.pixels.size(); i += 2) half.pixels[i] = (half.pixels[i] & 0xFFFFFF) | (uint32_t)(i % 256) << 24;
    const TestPicture pictures[] = {test_picture_gradient(64, 48), test_picture_gradient(9, 7), half};
    for (const TestPicture& p : pictures)
        for (int32_t depth : {4, 8}) {
            std::vector<uint8_t> pixels = pixels32(p);
            QuantiserPtr q = make(pixels, p, depth);
            const Network* n = q->network;
            for (int a : {255, 200, 60, 0})
                for (int r = 0; r < 256; r += 17)
                    for (int g = 0; g < 256; g += 15)
                        for (int b = 0; b < 256; b += 51) {
                            double t = 1 - a / 255.0, w = 1 - t * t;
                            double target[3] = {a ? n->gamma_table[b] : 0, a ? n->gamma_table[g] : 0, a ? n->gamma_table[r] : 0};
                            auto distance = [&](int k) {
                                double d = 0;
                                for (int c = 0; c < 3; c++) d += w * (n->search_colours[k][c] - target[c]) * (n->search_colours[k][c] - target[c]);
                                return d + (n->search_colours[k][3] - a) * (n->search_colours[k][3] - a);
                            };
                            double best = distance(0);
                            for (uint32_t k = 1; k < n->size; k++) best = distance(k) < best ? distance(k) : best;
                            // Equal up to the order in which the terms were added.
                            ASSERT_LE(distance(network_search(n, a, r, g, b)), best * (1 + 1e-12))
                                << p.width << " at " << depth << ": " << a << "," << r << "," << g << "," << b;
                        }
        }
}

TEST(Quantiser, LearnsAndMapsExactlyAsThePlainReading) {
    // Rate and radius decay every seventh sample here; 499 pixels take the second prime step.
    TestPicture mixed = test_picture_gradient(32, 24);
    for (size_t i = 0; i < mixed.pixels.size(); i += 5)
        mixed.pixels[i] = (mixed.pixels[i] & 0xFFFFFF) | (uint32_t)(i * 37 % 256) << 24;
    const TestPicture pictures[] = {mixed, test_picture_gradient(499, 1)};
    for (const TestPicture& p : pictures)
        for (int32_t depth : {4, 8})
            for (bool dither : {false, true}) {
                std::vector<uint8_t> pixels = pixels32(p);
                ReferenceQuantised expected = reference_quantise(pixels, p.width, p.height, depth, dither);
                QuantiserPtr q = make(pixels, p, depth, dither ? QUANTISER_DITHER : 0);
                ASSERT_NE(q, nullptr);
                const char* what = dither ? " dithered" : "";
                EXPECT_EQ(0, memcmp(q->palette, expected.palette, (size_t)4 << depth))
                    << p.width << "x" << p.height << " at " << depth << what;
                EXPECT_EQ(all_indices(q.get()), expected.indices)
                    << p.width << "x" << p.height << " at " << depth << what;
            }
}

TEST(Quantiser, IndexIsSortedByGreenAndPointsIntoItsRun) {
    TestPicture p = test_picture_gradient(50, 40, 200);
    std::vector<uint8_t> pixels = pixels32(p);
    for (int32_t depth : {4, 8}) {
        QuantiserPtr q = make(pixels, p, depth);
        ASSERT_NE(q, nullptr);
        const Network* n = q->network;
        for (uint32_t i = 1; i < n->size; i++)
            EXPECT_LE(n->search_colours[i - 1][1], n->search_colours[i][1]) << i;
        for (int g = 1; g < 256; g++) EXPECT_LE(n->green_index[g - 1], n->green_index[g]) << g;
        // A green that some entry has leads to an entry of that green.
        for (uint32_t i = 0; i < n->size; i++) {
            int green = n->search_colours[i][1];
            EXPECT_EQ(n->search_colours[n->green_index[green]][1], green) << i;
        }
        // The palette is the network in the same order.
        for (uint32_t i = 0; i < n->size; i++)
            EXPECT_EQ(n->gamma_table[q->palette[i][1]], n->search_colours[i][1]) << i;
    }
}

TEST(Quantiser, TransparentPixelsAreMatchedOnAlphaAlone) {
    TestPicture p = test_picture_gradient(40, 30);
    for (size_t i = 0; i < p.pixels.size(); i += 3) p.pixels[i] &= 0x00FFFFFF;  // a third transparent
    std::vector<uint8_t> pixels = pixels32(p);
    QuantiserPtr q = make(pixels, p, 8);
    ASSERT_NE(q, nullptr);
    const Network* n = q->network;
    int lowest = 255;
    for (uint32_t i = 0; i < n->size; i++)
        if (n->search_colours[i][3] < lowest) lowest = n->search_colours[i][3];
    int index = network_search(n, 0, 0, 0, 0);
    EXPECT_EQ(n->search_colours[index][3], lowest);
    for (int r = 0; r < 256; r += 51)
        for (int g = 0; g < 256; g += 17)
            EXPECT_EQ(network_search(n, 0, r, g, 255 - r), index) << r << "," << g;
}

TEST(Quantiser, DitheringLeavesTheCallersPixelsAlone) {
    TestPicture p = test_picture_gradient(45, 31, 230);
    std::vector<uint8_t> pixels = pixels32(p);
    const std::vector<uint8_t> before = pixels;
    QuantiserPtr q = make(pixels, p, 4, QUANTISER_DITHER);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->owns_pixels, 1);
    std::vector<int> dithered = all_indices(q.get());
    EXPECT_EQ(pixels, before);

    // Without dithering the quantiser reads the caller's 32-bit pixels in place; the
    // dithered rows differ from the plain mapping somewhere.
    QuantiserPtr plain = make(pixels, p, 4);
    EXPECT_EQ(plain->owns_pixels, 0);
    EXPECT_EQ(plain->pixels, pixels.data());
    EXPECT_NE(all_indices(plain.get()), dithered);

    std::vector<uint8_t> rows24 = pixels24(p, 140);
    const std::vector<uint8_t> before24 = rows24;
    QuantiserPtr q24(quantiser_create(rows24.data(), p.width, p.height, 24, 140, 8, QUANTISER_DITHER));
    ASSERT_NE(q24, nullptr);
    all_indices(q24.get());
    EXPECT_EQ(rows24, before24);
}

TEST(Quantiser, CopiesTwentyFourBitRowsAsOpaquePixels) {
    TestPicture p = test_picture_gradient(5, 3);
    std::vector<uint8_t> rows = pixels24(p, 16);
    QuantiserPtr q(quantiser_create(rows.data(), 5, 3, 24, 16, 1, 0));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->owns_pixels, 1);
    std::vector<uint8_t> expected = pixels32(p);
    EXPECT_EQ(0, memcmp(q->pixels, expected.data(), expected.size()));
}

TEST(Quantiser, RefusesWhatItCannotQuantise) {
    uint8_t pixels[64] = {};
    struct { int32_t width, height, pixel_depth, target_depth; } cases[] = {
        {2, 2, 32, 2}, {2, 2, 32, 24}, {2, 2, 16, 8}, {0, 2, 32, 8}, {2, -1, 32, 8},
        {32767, 32767, 32, 8},  // more working memory than 32-bit sizes hold
    };
    for (auto c : cases)
        EXPECT_EQ(quantiser_create(pixels, c.width, c.height, c.pixel_depth, c.width * 4,
                                   c.target_depth, 0), nullptr)
            << c.width << "x" << c.height << " " << c.pixel_depth << "->" << c.target_depth;
}

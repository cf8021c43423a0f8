// BMP and icon headers checked against the data, the choice of an icon's image, and BMP
// files written through a sink and read back by an independent reader.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <string>

#include "image/bmp.h"
#include "image/codec.h"
#include "tests/support/pictures.h"

namespace {

void set32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + i] = (uint8_t)(v >> (8 * i));
}
void set16(Bytes& b, size_t at, uint32_t v) {
    b[at] = (uint8_t)v;
    b[at + 1] = (uint8_t)(v >> 8);
}

Bytes bmp24(int32_t width = 4, int32_t height = 3) {
    return test_bmp_file(TestBmp{test_picture_gradient(width, height), 24, {}});
}

Bytes bmp8(uint32_t colours) {
    return test_bmp_file(TestBmp{test_picture_indices(5, 3, colours), 8, test_palette(colours)});
}

Bytes rle8() {
    TestBmp bmp{test_picture_indices(9, 4, 3), 8, test_palette(3)};
    bmp.compression = TEST_BI_RLE8;
    return test_bmp_file(bmp);
}

int32_t parse(const Bytes& b, BmpLayout* layout) {
    return bmp_parse(b.data(), (uint32_t)b.size(), layout);
}

}  // namespace

TEST(BmpParse, ReadsTheLayoutOfValidFiles) {
    struct { TestBmp bmp; uint32_t info_bytes; } cases[] = {
        {{test_picture_indices(13, 7, 2), 1, test_palette(2)}, 40 + 8},
        {{test_picture_indices(9, 5, 5), 4, test_palette(5)}, 40 + 20},
        {{test_picture_indices(9, 5, 16), 4, test_palette(16)}, 40 + 64},
        {{test_picture_indices(7, 6, 256), 8, test_palette(256)}, 40 + 1024},
        {{test_picture_gradient(6, 4), 16, {}}, 40},
        {{test_picture_gradient(7, 5), 24, {}}, 40},
        {{test_picture_gradient(5, 4, 9), 32, {}}, 40},
    };
    for (auto& c : cases) {
        Bytes file = test_bmp_file(c.bmp);
        BmpLayout layout;
        ASSERT_EQ(parse(file, &layout), 1) << c.bmp.bit_count;
        EXPECT_EQ(layout.width, c.bmp.picture.width);
        EXPECT_EQ(layout.height, c.bmp.picture.height);
        EXPECT_EQ(layout.bit_count, c.bmp.bit_count);
        EXPECT_EQ(layout.info_bytes, c.info_bytes);
        EXPECT_EQ(layout.pixel_offset + layout.pixel_bytes, file.size());
    }
}

TEST(BmpParse, ReadsAWholePaletteWhenNoColoursAreCounted) {
    Bytes file = test_bmp_file(TestBmp{test_picture_indices(9, 5, 16), 4, test_palette(16)});
    set32(file, 46, 0);
    BmpLayout layout;
    ASSERT_EQ(parse(file, &layout), 1);
    EXPECT_EQ(layout.info_bytes, 40u + 64);
    set32(file, 46, 300);  // more than 256 colours counted: the system reads 256
    EXPECT_EQ(parse(file, &layout), 0);
}

TEST(BmpParse, TakesTopDownRowsBitFieldsAndRunLengths) {
    TestBmp top{test_picture_gradient(6, 5), 24, {}};
    top.top_down = true;
    BmpLayout layout;
    ASSERT_EQ(parse(test_bmp_file(top), &layout), 1);
    EXPECT_EQ(layout.height, -5);
    EXPECT_EQ(layout.pixel_bytes, 5u * 20);

    TestBmp fields{test_picture_gradient(4, 3), 32, {}};
    fields.compression = TEST_BI_BITFIELDS;
    ASSERT_EQ(parse(test_bmp_file(fields), &layout), 1);
    EXPECT_EQ(layout.info_bytes, 52u);  // three colour masks follow the header

    Bytes rle = rle8();
    ASSERT_EQ(parse(rle, &layout), 1);
    EXPECT_EQ(layout.compression, 1u);
    EXPECT_EQ(layout.pixel_bytes, rle.size() - layout.pixel_offset);
}

// The masks lie at bytes 40 to 52 of the info whatever the header's size, so a header
// shorter than 52 bytes needs the rest of them in the data.
TEST(BmpParse, CountsBitFieldMasksBeyondAShortHeader) {
    const uint32_t header_sizes[][2] = {{40, 52}, {44, 52}, {48, 52}, {52, 52}, {56, 56}, {108, 108}};
    for (const auto& h : header_sizes) {
        TestBmp fields{test_picture_gradient(1, 1), 32, {}};
        fields.compression = TEST_BI_BITFIELDS;
        Bytes file = test_bmp_file(fields);
        // Room for a longer header: the pixels move behind it.
        if (h[0] > 52) file.insert(file.begin() + 66, h[0] - 52, 0);
        set32(file, 14, h[0]);
        uint32_t pixels = 14 + (h[0] > 52 ? h[0] : 52);
        set32(file, 10, pixels);
        BmpLayout layout;
        ASSERT_EQ(parse(file, &layout), 1) << h[0];
        EXPECT_EQ(layout.info_bytes, h[1]) << h[0];
        // The pixels right behind the header, the file ending with them.
        Bytes tight(file.begin(), file.begin() + 14 + h[0]);
        tight.insert(tight.end(), file.begin() + pixels, file.end());
        set32(tight, 10, 14 + h[0]);
        EXPECT_EQ(parse(tight, &layout), tight.size() >= 14 + h[1] ? 1 : 0) << h[0];
    }
}

TEST(BmpParse, TakesTheLargestSide) {
    BmpLayout layout;
    EXPECT_EQ(parse(bmp24(32767, 1), &layout), 1);
    EXPECT_EQ(parse(bmp24(1, 32767), &layout), 1);
}

TEST(BmpParse, RefusesHeadersThatDoNotFitTheData) {
    struct Case {
        const char* what;
        std::function<Bytes()> make;
    } cases[] = {
        {"nothing", [] { return Bytes(); }},
        {"one byte short of both headers", [] { Bytes b = bmp24(); b.resize(53); return b; }},
        {"not BM", [] { Bytes b = bmp24(); b[1] = 'A'; return b; }},
        {"a core header", [] { Bytes b = bmp24(); set32(b, 14, 12); return b; }},
        {"info header of 39", [] { Bytes b = bmp24(); set32(b, 14, 39); return b; }},
        {"info header beyond the data", [] { Bytes b = bmp24(); set32(b, 14, (uint32_t)b.size()); return b; }},
        {"huge info header", [] { Bytes b = bmp24(); set32(b, 14, 0xFFFFFFF0u); return b; }},
        {"width 0", [] { Bytes b = bmp24(); set32(b, 18, 0); return b; }},
        {"negative width", [] { Bytes b = bmp24(); set32(b, 18, (uint32_t)-4); return b; }},
        {"width 32768", [] { Bytes b = bmp24(); set32(b, 18, 32768); return b; }},
        {"height 0", [] { Bytes b = bmp24(); set32(b, 22, 0); return b; }},
        {"height 32768", [] { Bytes b = bmp24(); set32(b, 22, 32768); return b; }},
        {"height -32768", [] { Bytes b = bmp24(); set32(b, 22, (uint32_t)-32768); return b; }},
        {"height INT32_MIN", [] { Bytes b = bmp24(); set32(b, 22, 0x80000000u); return b; }},
        {"0 bits", [] { Bytes b = bmp24(); set16(b, 28, 0); return b; }},
        {"2 bits", [] { Bytes b = bmp24(); set16(b, 28, 2); return b; }},
        {"64 bits", [] { Bytes b = bmp24(); set16(b, 28, 64); return b; }},
        {"embedded JPEG", [] { Bytes b = bmp24(); set32(b, 30, 4); return b; }},
        {"embedded PNG", [] { Bytes b = bmp24(); set32(b, 30, 5); return b; }},
        {"run lengths at 24 bits", [] { Bytes b = bmp24(); set32(b, 30, 1); return b; }},
        {"bit fields at 24 bits", [] { Bytes b = bmp24(); set32(b, 30, 3); return b; }},
        {"pixel offset beyond the data", [] { Bytes b = bmp24(); set32(b, 10, (uint32_t)b.size()); return b; }},
        {"pixel offset wrapping around", [] { Bytes b = bmp24(); set32(b, 10, 0xFFFFFFFFu); return b; }},
        {"pixel data one byte short", [] { Bytes b = bmp24(); b.pop_back(); return b; }},
        {"more rows than data", [] { Bytes b = bmp24(); set32(b, 22, 4); return b; }},
        {"palette beyond the data", [] { Bytes b = bmp8(3); set32(b, 46, 200); return b; }},
        {"full palette missing", [] { Bytes b = bmp8(3); set32(b, 46, 0); return b; }},
        {"run lengths top-down", [] { Bytes b = rle8(); set32(b, 22, (uint32_t)-4); return b; }},
        {"run lengths of unknown size", [] { Bytes b = rle8(); set32(b, 34, 0); return b; }},
        {"run lengths beyond the data", [] { Bytes b = rle8(); set32(b, 34, (uint32_t)b.size()); return b; }},
    };
    for (auto& c : cases) {
        Bytes file = c.make();
        BmpLayout layout;
        EXPECT_EQ(bmp_parse(file.empty() ? nullptr : file.data(), (uint32_t)file.size(), &layout), 0) << c.what;
    }
    BmpLayout layout;
    EXPECT_EQ(bmp_parse(nullptr, 100, &layout), 0);
}

namespace {

TestIconEntry entry(int32_t side, int32_t bits, uint32_t colour) {
    if (bits <= 8) return TestIconEntry{test_picture_filled(side, side, 1), bits, {0, colour & 0xFFFFFF}};
    return TestIconEntry{test_picture_filled(side, side, colour), bits, {}};
}

// Offset of the image of directory entry i.
uint32_t image_offset(const Bytes& icon, int i) {
    return icon[6 + 16 * i + 12] | icon[6 + 16 * i + 13] << 8 | icon[6 + 16 * i + 14] << 16 |
           (uint32_t)icon[6 + 16 * i + 15] << 24;
}

}  // namespace

TEST(IconChoose, TakesTheDeepestEntryOfTheFirstEntrysSize) {
    struct { std::vector<TestIconEntry> entries; int chosen; } cases[] = {
        {{entry(16, 4, 1), entry(16, 32, 2), entry(32, 32, 3)}, 1},
        {{entry(16, 32, 1), entry(16, 32, 2)}, 0},  // ties keep the earlier
        {{entry(16, 8, 1), entry(32, 32, 2), entry(16, 24, 3), entry(16, 32, 4)}, 3},
        {{entry(16, 24, 1), entry(16, 8, 2)}, 0},
        {{entry(32, 1, 1)}, 0},
    };
    for (auto& c : cases) {
        Bytes icon = test_icon_file(c.entries);
        IconImage image;
        ASSERT_EQ(icon_choose(icon.data(), (uint32_t)icon.size(), &image), 1);
        EXPECT_EQ(image.offset, image_offset(icon, c.chosen));
        EXPECT_EQ(image.bit_count, c.entries[c.chosen].bit_count);
        EXPECT_EQ(image.desired_width, c.entries[c.chosen].picture.width);
        EXPECT_EQ(image.desired_height, c.entries[c.chosen].picture.height);
        EXPECT_EQ(image.is_png, 0);
    }
}

TEST(IconChoose, TakesAPngImageWithoutAnInfoHeader) {
    Bytes icon = test_icon_file({entry(16, 32, 5)});
    const uint8_t png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    memcpy(&icon[image_offset(icon, 0)], png, sizeof png);
    IconImage image;
    ASSERT_EQ(icon_choose(icon.data(), (uint32_t)icon.size(), &image), 1);
    EXPECT_EQ(image.is_png, 1);
}

TEST(IconChoose, RefusesCursorsAndRangesOutsideTheData) {
    Bytes valid = test_icon_file({entry(16, 4, 1), entry(16, 32, 2)});
    const uint32_t second = image_offset(valid, 1);
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
    } cases[] = {
        {"a cursor", [](Bytes& b) { set16(b, 2, 2); }},
        {"reserved not 0", [](Bytes& b) { set16(b, 0, 1); }},
        {"no entries", [](Bytes& b) { set16(b, 4, 0); }},
        {"more entries than the data", [](Bytes& b) { set16(b, 4, 0xFFFF); }},
        {"only the header", [](Bytes& b) { b.resize(6); }},
        {"directory cut", [](Bytes& b) { b.resize(6 + 16 + 10); }},
        {"image beyond the data", [](Bytes& b) { set32(b, 6 + 16 + 12, (uint32_t)b.size()); }},
        {"image offset wrapping", [](Bytes& b) { set32(b, 6 + 16 + 12, 0xFFFFFF00u); }},
        {"image of 0 bytes", [](Bytes& b) { set32(b, 6 + 16 + 8, 0); }},
        {"image longer than the data", [](Bytes& b) { set32(b, 6 + 16 + 8, 0x7FFFFFFF); }},
        {"image cut", [](Bytes& b) { b.pop_back(); }},
        {"image too short for its mask", [=](Bytes& b) { set32(b, 6 + 16 + 8, (uint32_t)b.size() - second - 1); }},
        {"image height 0", [=](Bytes& b) { set32(b, second + 8, 0); }},
        {"image height 1", [=](Bytes& b) { set32(b, second + 8, 1); }},
        {"image top-down", [=](Bytes& b) { set32(b, second + 8, (uint32_t)-32); }},
        {"image width 0", [=](Bytes& b) { set32(b, second + 4, 0); }},
        {"image width huge", [=](Bytes& b) { set32(b, second + 4, 0x40000000); }},
        {"image header size huge", [=](Bytes& b) { set32(b, second, 0x7FFFFFFF); }},
        {"image 7 bits", [=](Bytes& b) { set16(b, second + 14, 7); }},
        {"image run lengths", [=](Bytes& b) { set32(b, second + 16, 1); }},
    };
    IconImage image;
    ASSERT_EQ(icon_choose(valid.data(), (uint32_t)valid.size(), &image), 1);
    for (auto& c : cases) {
        Bytes b = valid;
        c.damage(b);
        EXPECT_EQ(icon_choose(b.data(), (uint32_t)b.size(), &image), 0) << c.what;
    }
}

// An icon image's masks and colours lie between its info header and its rows as in a
// BMP: the masks at bytes 40 to 52 whatever the header's size, colours used at any depth.
TEST(IconChoose, CountsTheMasksAndColoursBeforeTheRows) {
    struct {
        int32_t bits;
        uint32_t header_size, compression, colours_used;
        uint32_t extra;  // bytes the image needs beyond a 40-byte header and its rows
    } cases[] = {
        {16, 40, TEST_BI_BITFIELDS, 0, 12}, {16, 41, TEST_BI_BITFIELDS, 0, 12},
        {32, 48, TEST_BI_BITFIELDS, 0, 12}, {32, 51, TEST_BI_BITFIELDS, 0, 12},
        {16, 52, TEST_BI_BITFIELDS, 0, 12}, {32, 56, TEST_BI_BITFIELDS, 0, 16},
        {16, 41, TEST_BI_BITFIELDS, 4, 28}, {32, 40, TEST_BI_RGB, 3, 12},
        {16, 44, TEST_BI_RGB, 0, 4},
    };
    for (const auto& c : cases) {
        Bytes icon = test_icon_file({entry(4, c.bits, 7)});
        const uint32_t at = image_offset(icon, 0);
        set32(icon, at, c.header_size);
        set32(icon, at + 16, c.compression);
        set32(icon, at + 32, c.colours_used);
        IconImage image;
        // Taken with the bytes it needs, refused one byte short.
        for (uint32_t added : {c.extra, c.extra - 1}) {
            Bytes b = icon;
            b.insert(b.end(), added, 0);
            set32(b, 6 + 8, (uint32_t)b.size() - at);
            EXPECT_EQ(icon_choose(b.data(), (uint32_t)b.size(), &image), added == c.extra ? 1 : 0)
                << c.bits << " bits, header " << c.header_size << ", " << added << " bytes added";
        }
    }
}

namespace {

struct MemorySink {
    Bytes bytes;
    int writes = 0;
    int fail_at = -1;  // the write that fails, or -1
};

int32_t memory_write(void* context, const void* data, uint32_t size) {
    MemorySink* sink = (MemorySink*)context;
    if (sink->writes++ == sink->fail_at) return 0;
    sink->bytes.insert(sink->bytes.end(), (const uint8_t*)data, (const uint8_t*)data + size);
    return 1;
}

// A picture as pixels of a bottom-up DIB of that depth (24 or 32).
Bytes dib_pixels(const TestPicture& p, int32_t depth, int32_t* pitch) {
    *pitch = depth == 24 ? (3 * p.width + 3) / 4 * 4 : 4 * p.width;
    Bytes out((size_t)*pitch * p.height, 0);
    for (int32_t y = 0; y < p.height; y++)
        for (int32_t x = 0; x < p.width; x++)
            for (int c = 0; c < depth / 8; c++)
                out[(size_t)(p.height - 1 - y) * *pitch + x * (depth / 8) + c] = (uint8_t)(p.at(x, y) >> (8 * c));
    return out;
}

Bytes encode(const TestPicture& p, int32_t pixel_depth, int32_t depth, int32_t options = 0,
             int32_t flags = IMAGE_BOTTOM_UP, int32_t* result = nullptr) {
    int32_t pitch;
    Bytes pixels = dib_pixels(p, pixel_depth, &pitch);
    MemorySink sink;
    BmpSink s = {memory_write, &sink};
    int32_t ok = bmp_encode(&s, pixels.data(), pitch, p.width, p.height, pixel_depth, flags, options, depth);
    if (result) *result = ok;
    return ok ? sink.bytes : Bytes();
}

uint32_t flatten(uint32_t argb) {
    uint32_t a = argb >> 24, out = 0;
    for (int c = 0; c < 3; c++) {
        uint32_t v = (argb >> (8 * c)) & 255;
        out |= ((a * v + 255 * (255 - a)) / 255) << (8 * c);
    }
    return out;
}

}  // namespace

TEST(BmpEncode, WritesTrueColourPixelsExactly) {
    TestPicture opaque = test_picture_gradient(7, 5);
    TestPicture translucent = test_picture_gradient(6, 4);
    for (size_t i = 0; i < translucent.pixels.size(); i++)
        translucent.pixels[i] = (translucent.pixels[i] & 0xFFFFFF) | (uint32_t)(i * 11 % 256) << 24;
    struct { const TestPicture* picture; int32_t pixel_depth, depth; } cases[] = {
        {&opaque, 24, 24}, {&opaque, 24, 32}, {&opaque, 32, 24}, {&opaque, 32, 32},
        {&translucent, 32, 32}, {&translucent, 32, 24},
    };
    for (auto c : cases) {
        for (int32_t flags : {(int)IMAGE_BOTTOM_UP, 0}) {
            Bytes file = encode(*c.picture, c.pixel_depth, c.depth, 0, flags);
            TestPicture back;
            int32_t bits;
            std::vector<uint32_t> palette;
            ASSERT_TRUE(test_bmp_read(file, &back, &bits, &palette)) << c.pixel_depth << "->" << c.depth;
            EXPECT_EQ(bits, c.depth);
            uint32_t size = file[2] | file[3] << 8 | file[4] << 16 | (uint32_t)file[5] << 24;
            EXPECT_EQ(size, file.size());
            for (size_t i = 0; i < back.pixels.size(); i++) {
                uint32_t in = c.picture->pixels[i], got = back.pixels[i];
                // Without the bottom-up flag, the first row in memory is the top row.
                if (!flags) in = c.picture->pixels[(c.picture->height - 1 - i / c.picture->width) * c.picture->width + i % c.picture->width];
                uint32_t expected;
                if (c.pixel_depth == 32 && c.depth == 32 && flags) expected = in;  // one write, alpha kept
                else if (c.pixel_depth == 32) expected = flatten(in) | (c.depth == 24 ? 0xFF000000u : 0);
                else expected = (in & 0xFFFFFF) | (c.depth == 24 ? 0xFF000000u : 0);
                ASSERT_EQ(got, expected) << c.pixel_depth << "->" << c.depth << " flags " << flags << " pixel " << i;
            }
        }
    }
}

TEST(BmpEncode, WritesPalettesOfEachDepth) {
    // Few, well separated colours in blocks: each comes back as a palette colour close
    // to it (the gamma space loses a level here and there).
    TestPicture p{96, 64, {}};
    const uint32_t colours[] = {0xFF000000u, 0xFFFFFFFFu, 0xFFE02020u, 0xFF20C040u, 0xFF3050F0u, 0xFFF0E060u};
    for (int32_t y = 0; y < p.height; y++)
        for (int32_t x = 0; x < p.width; x++) p.pixels.push_back(colours[(x / 8 + y / 8) % 6]);
    for (int32_t depth : {4, 8})
        for (int32_t pixel_depth : {24, 32}) {
            Bytes file = encode(p, pixel_depth, depth);
            TestPicture back;
            int32_t bits;
            std::vector<uint32_t> palette;
            ASSERT_TRUE(test_bmp_read(file, &back, &bits, &palette)) << depth;
            EXPECT_EQ(bits, depth);
            EXPECT_EQ(palette.size(), 1u << depth);
            for (uint32_t c : palette) EXPECT_EQ(c >> 24, 0u) << "fourth palette byte";
            for (size_t i = 0; i < back.pixels.size(); i++)
                for (int c = 0; c < 3; c++)
                    ASSERT_NEAR((back.pixels[i] >> (8 * c)) & 255, (p.pixels[i] >> (8 * c)) & 255, 3)
                        << depth << " pixel " << i << " channel " << c;
        }
    Bytes file = encode(p, 24, 1);
    TestPicture back;
    int32_t bits;
    std::vector<uint32_t> palette;
    ASSERT_TRUE(test_bmp_read(file, &back, &bits, &palette));
    EXPECT_EQ(palette, (std::vector<uint32_t>{0x000000, 0xFFFFFF}));
    for (size_t i = 0; i < back.pixels.size(); i++) {
        uint32_t c = p.pixels[i];
        double luminance = 0.2126 * ((c >> 16) & 255) + 0.7152 * ((c >> 8) & 255) + 0.0722 * (c & 255);
        EXPECT_EQ(back.pixels[i], luminance > 160 ? 0xFFFFFFFFu : 0xFF000000u) << i;
    }
}

TEST(BmpEncode, SizesRowsAndHeadersForEachDepth) {
    struct { int32_t width, depth; uint32_t row, header; } cases[] = {
        {1, 1, 4, 62}, {33, 1, 8, 62}, {1, 4, 4, 118}, {9, 4, 8, 118}, {5, 8, 8, 1078},
        {3, 24, 12, 54}, {5, 24, 16, 54}, {5, 32, 20, 54},
    };
    for (auto c : cases) {
        BmpWriteLayout layout;
        ASSERT_EQ(bmp_write_layout(c.width, 3, 24, c.depth, &layout), 1);
        EXPECT_EQ(layout.row_size, c.row) << c.width << " at " << c.depth;
        EXPECT_EQ(layout.header_size, c.header) << c.depth;
        EXPECT_EQ(layout.file_size, c.header + 3 * c.row);
    }
    BmpWriteLayout layout;
    for (int32_t depth : {0, 2, 15, 16, 48, -1}) EXPECT_EQ(bmp_write_layout(4, 4, 24, depth, &layout), 0) << depth;
    EXPECT_EQ(bmp_write_layout(4, 4, 16, 24, &layout), 0);
    EXPECT_EQ(bmp_write_layout(0, 4, 24, 24, &layout), 0);
    EXPECT_EQ(bmp_write_layout(4, 0, 24, 24, &layout), 0);
    EXPECT_EQ(bmp_write_layout(32767, 32767, 32, 32, &layout), 1);  // just below 4 GB
}

TEST(BmpEncode, WritesNothingForADepthItCannotWrite) {
    int32_t result = 1;
    EXPECT_TRUE(encode(test_picture_gradient(4, 4), 24, 16, 0, IMAGE_BOTTOM_UP, &result).empty());
    EXPECT_EQ(result, 0);
}

TEST(BmpEncode, FailsWhenAnyWriteFails) {
    TestPicture p = test_picture_gradient(5, 4);
    for (int32_t depth : {1, 4, 8, 24, 32})
        for (int32_t flags : {(int)IMAGE_BOTTOM_UP, 0}) {
            int32_t pitch;
            Bytes pixels = dib_pixels(p, 32, &pitch);
            MemorySink counting;
            BmpSink s = {memory_write, &counting};
            ASSERT_EQ(bmp_encode(&s, pixels.data(), pitch, 5, 4, 32, flags, 0, depth), 1);
            for (int fail = 0; fail < counting.writes; fail++) {
                MemorySink failing;
                failing.fail_at = fail;
                BmpSink f = {memory_write, &failing};
                EXPECT_EQ(bmp_encode(&f, pixels.data(), pitch, 5, 4, 32, flags, 0, depth), 0)
                    << "depth " << depth << " write " << fail;
            }
        }
}

// Loading and saving: BMP files of every depth, icons, the decoder trial and the
// encoder dispatch, with plug-ins of the test's own.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "image/resize.h"
#include "tests/support/image_helpers.h"
#include "tests/support/temp_folder.h"
#include "tests/support/win_heap_hooks.h"

namespace {

// The colours a test BMP should load as.
TestPicture expected_colours(const TestBmp& bmp) {
    TestPicture out = bmp.picture;
    for (uint32_t& p : out.pixels) {
        if (bmp.bit_count <= 8) p = bmp.palette[p] | 0xFF000000u;
        else if (bmp.bit_count != 32) p |= 0xFF000000u;
    }
    return out;
}

void expect_pixels_near(const TestPicture& got, const TestPicture& expected, int tolerance, const char* what) {
    ASSERT_EQ(got.width, expected.width) << what;
    ASSERT_EQ(got.height, expected.height) << what;
    for (size_t i = 0; i < got.pixels.size(); i++)
        for (int c = 0; c < 4; c++) {
            int a = (got.pixels[i] >> (8 * c)) & 255, b = (expected.pixels[i] >> (8 * c)) & 255;
            ASSERT_LE(abs(a - b), tolerance) << what << " pixel " << i << " channel " << c << std::hex
                                             << " got " << got.pixels[i] << " expected " << expected.pixels[i];
        }
}

int32_t load_small(int32_t number) {
    return test_load(number, test_bmp_file(TestBmp{test_picture_gradient(5, 5), 24, {}}));
}

}  // namespace

TEST(BmpLoad, LoadsEveryDepthWithItsSourceDepthAndPixels) {
    TestBmp top_down{test_picture_gradient(6, 5), 24, {}};
    top_down.top_down = true;
    TestBmp fields{test_picture_gradient(4, 3), 32, {}};
    fields.compression = TEST_BI_BITFIELDS;
    TestBmp rle8{test_picture_indices(9, 6, 10), 8, test_palette(10)};
    rle8.compression = TEST_BI_RLE8;
    TestBmp rle4{test_picture_indices(11, 4, 6), 4, test_palette(6)};
    rle4.compression = TEST_BI_RLE4;
    struct { const char* what; TestBmp bmp; int32_t depth; int tolerance; } cases[] = {
        {"1 bit", {test_picture_indices(13, 7, 2), 1, test_palette(2)}, 24, 0},
        {"4 bits", {test_picture_indices(9, 5, 16), 4, test_palette(16)}, 24, 0},
        {"4 bits, short palette", {test_picture_indices(9, 5, 5), 4, test_palette(5)}, 24, 0},
        {"8 bits", {test_picture_indices(7, 6, 256), 8, test_palette(256)}, 24, 0},
        {"16 bits", {test_picture_gradient(6, 4), 16, {}}, 24, 7},
        {"24 bits", {test_picture_gradient(7, 5), 24, {}}, 24, 0},
        {"32 bits", {test_picture_gradient(5, 4, 90), 32, {}}, 32, 0},
        {"top-down rows", top_down, 24, 0},
        {"run lengths, 8 bits", rle8, 24, 0},
        {"run lengths, 4 bits", rle4, 24, 0},
    };
    for (auto& c : cases) {
        ASSERT_NE(test_load(1, test_bmp_file(c.bmp)), 0) << c.what;
        ImageObject* image = test_image(1);
        EXPECT_EQ(image->width, c.bmp.picture.width) << c.what;
        EXPECT_EQ(image->height, c.bmp.picture.height) << c.what;
        EXPECT_EQ(image->depth, c.depth) << c.what;
        EXPECT_EQ(image->source_depth, c.bmp.bit_count) << c.what;
        EXPECT_EQ(image->format_code, (uint32_t)IMAGE_FORMAT_BMP) << c.what;
        expect_pixels_near(test_image_pixels(1), expected_colours(c.bmp), c.tolerance, c.what);
    }
    // Bit fields carry no alpha: the copy leaves it 0, which then reads as opaque.
    ASSERT_NE(test_load(1, test_bmp_file(fields)), 0);
    TestPicture opaque = fields.picture;
    expect_pixels_near(test_image_pixels(1), opaque, 0, "bit fields");
    image_free(1);
}

TEST(BmpLoad, ThirtyTwoBitsWithoutAlphaLoadOpaque) {
    TestPicture none = test_picture_gradient(5, 4, 0);
    TestBmp bmp{none, 32, {}};
    ASSERT_NE(test_load(0, test_bmp_file(bmp)), 0);
    TestPicture got = test_image_pixels(0);
    for (size_t i = 0; i < got.pixels.size(); i++) EXPECT_EQ(got.pixels[i], none.pixels[i] | 0xFF000000u) << i;

    // One alpha byte: every alpha byte stays as stored, the zeros included.
    TestPicture one = none;
    one.pixels[6] |= 0x05000000u;
    ASSERT_NE(test_load(0, test_bmp_file(TestBmp{one, 32, {}})), 0);
    got = test_image_pixels(0);
    for (size_t i = 0; i < got.pixels.size(); i++) EXPECT_EQ(got.pixels[i], one.pixels[i]) << i;
    image_free(0);
}

TEST(ImageLoadFile, ReadsTheWholeFile) {
    TempFolder folder;
    TestBmp bmp{test_picture_gradient(9, 4), 24, {}};
    ASSERT_TRUE(folder.write("a.bmp", test_bmp_file(bmp)));
    ASSERT_NE(image_load(3, folder.path("a.bmp").c_str()), 0);
    expect_pixels_near(test_image_pixels(3), expected_colours(bmp), 0, "from a file");
    EXPECT_EQ(image_load(-1, folder.path("missing.bmp").c_str()), 0);
    EXPECT_EQ(image_load(-1, nullptr), 0);
    // An empty file fails before the number is touched (no block of 0 bytes), so its image stays.
    ASSERT_TRUE(folder.write("empty.bmp", {}));
    EXPECT_EQ(image_load(3, folder.path("empty.bmp").c_str()), 0);
    expect_pixels_near(test_image_pixels(3), expected_colours(bmp), 0, "after an empty file");
    image_free(3);
}

namespace {

struct SavedFile {
    TestPicture picture;
    int32_t bits;
    std::vector<uint32_t> palette;
};

bool read_saved(const TempFolder& folder, const char* name, SavedFile* out) {
    return test_bmp_read(folder.read(name), &out->picture, &out->bits, &out->palette);
}

}  // namespace

TEST(BmpSave, DepthMinusOneWritesTheSourceDepth) {
    TempFolder folder;
    for (int32_t bits : {1, 4, 8, 24, 32}) {
        TestBmp bmp = bits <= 8 ? TestBmp{test_picture_indices(70, 50, 1u << bits), bits, test_palette(1u << bits)}
                                : TestBmp{test_picture_gradient(70, 50), bits, {}};
        ASSERT_NE(test_load(0, test_bmp_file(bmp)), 0) << bits;
        std::string name = "saved" + std::to_string(bits) + ".bmp";
        ASSERT_EQ(image_save(0, folder.path(name.c_str()).c_str(), IMAGE_FORMAT_BMP), 1) << bits;
        SavedFile saved;
        ASSERT_TRUE(read_saved(folder, name.c_str(), &saved)) << bits;
        EXPECT_EQ(saved.bits, bits);
        EXPECT_EQ(saved.picture.width, 70);
        EXPECT_EQ(saved.picture.height, 50);
    }
    image_free(0);
}

TEST(BmpSave, RoundTripsAtEveryDepth) {
    TempFolder folder;
    struct { TestPicture picture; int32_t bits; } sources[] = {
        {test_picture_gradient(64, 48), 24},
        {test_picture_gradient(64, 48, 255), 32},
    };
    for (auto& source : sources)
        for (int32_t depth : {1, 4, 8, 24, 32}) {
            std::string what = std::to_string(source.bits) + " -> " + std::to_string(depth);
            ASSERT_NE(test_load(0, test_bmp_file(TestBmp{source.picture, source.bits, {}})), 0);
            std::string path = folder.path("round.bmp");
            ASSERT_EQ(image_save_ex(0, path.c_str(), IMAGE_FORMAT_BMP, 7, depth), 1) << what;
            SavedFile saved;
            ASSERT_TRUE(read_saved(folder, "round.bmp", &saved)) << what;
            ASSERT_EQ(saved.bits, depth) << what;
            ASSERT_NE(image_load(1, path.c_str()), 0) << what;
            EXPECT_EQ(test_image(1)->source_depth, depth) << what;
            TestPicture back = test_image_pixels(1);
            ASSERT_EQ(back.pixels.size(), source.picture.pixels.size()) << what;
            for (size_t i = 0; i < back.pixels.size(); i++) {
                uint32_t original = source.picture.pixels[i], got = back.pixels[i];
                if (depth >= 24) {
                    // A 24-bit picture saved at 32 bits has alpha 0 throughout: it loads opaque.
                    ASSERT_EQ(got, original | 0xFF000000u) << what << " pixel " << i;
                } else if (depth == 1) {
                    double luminance = 0.2126 * ((original >> 16) & 255) + 0.7152 * ((original >> 8) & 255) +
                                       0.0722 * (original & 255);
                    ASSERT_EQ(got, luminance > 160 ? 0xFFFFFFFFu : 0xFF000000u) << what << " pixel " << i;
                } else {
                    // The nearest colour of the file's palette, in the quantiser's gamma space.
                    ASSERT_NE(std::find(saved.palette.begin(), saved.palette.end(), got & 0xFFFFFF),
                              saved.palette.end()) << what << " pixel " << i;
                    ASSERT_TRUE(test_gamma_nearest(original, got & 0xFFFFFF, saved.palette))
                        << what << " pixel " << i << std::hex << " " << original << " -> " << got;
                }
            }
        }
    image_free(0);
    image_free(1);
}

TEST(BmpSave, RefusesDepthsBmpCannotHoldAndCreatesNoFile) {
    TempFolder folder;
    ASSERT_NE(load_small(0), 0);
    for (int32_t depth : {16, 15, 2, 0, 48}) {
        EXPECT_EQ(image_save_ex(0, folder.path("no.bmp").c_str(), IMAGE_FORMAT_BMP, 7, depth), 0) << depth;
        EXPECT_FALSE(folder.exists("no.bmp")) << depth;
    }
    // An image that came from a 16-bit file saves by default at 16 bits: refused alike.
    ASSERT_NE(test_load(0, test_bmp_file(TestBmp{test_picture_gradient(5, 5), 16, {}})), 0);
    EXPECT_EQ(image_save(0, folder.path("no.bmp").c_str(), IMAGE_FORMAT_BMP), 0);
    EXPECT_FALSE(folder.exists("no.bmp"));
    image_free(0);
}

TEST(BmpSave, AFailedSaveLeavesNoFile) {
    TempFolder folder;
    uint8_t pixel[4] = {};
    std::string path = folder.path("failed.bmp");
    ASSERT_TRUE(folder.write("failed.bmp", {1, 2, 3}));
    // The quantiser cannot take 30000 x 30000 pixels: the save fails after the file
    // was created, and what it created is deleted.
    EXPECT_EQ(bmp_write(path.c_str(), pixel, 90000, 30000, 30000, 24, IMAGE_BOTTOM_UP, 0, 8), 0);
    EXPECT_FALSE(folder.exists("failed.bmp"));
    // A folder that does not exist: nothing is made.
    ASSERT_NE(load_small(0), 0);
    EXPECT_EQ(image_save(0, folder.path("none\\x.bmp").c_str(), IMAGE_FORMAT_BMP), 0);
    EXPECT_FALSE(folder.exists("none"));
    image_free(0);
}

TEST(BmpSave, RefusesNamesAndNumbersThatHoldNothing) {
    TempFolder folder;
    EXPECT_EQ(image_save(12, folder.path("x.bmp").c_str(), IMAGE_FORMAT_BMP), 0);
    ASSERT_NE(load_small(0), 0);
    EXPECT_EQ(image_save(0, nullptr, IMAGE_FORMAT_BMP), 0);
    EXPECT_EQ(image_save(0, "", IMAGE_FORMAT_BMP), 0);
    EXPECT_EQ(image_save(0, folder.path("x.jpg").c_str(), IMAGE_FORMAT_JPEG), 0) << "no encoder for JPEG";
    EXPECT_FALSE(folder.exists("x.jpg"));
    image_free(0);
}

namespace {

uint32_t solid(uint32_t rgb) { return 0xFF000000u | rgb; }

// A 4-bit 16x16 entry in red, a 32-bit 16x16 entry in green, a 32-bit 32x32 in blue.
Bytes three_entry_icon() {
    return test_icon_file({
        {test_picture_filled(16, 16, 1), 4, {0, 0xFF0000}},
        {test_picture_filled(16, 16, solid(0x00FF00)), 32, {}},
        {test_picture_filled(32, 32, solid(0x0000FF)), 32, {}},
    });
}

// The colour in the middle of an icon drawn onto black.
uint32_t icon_colour(HICON icon, int side) {
    HBITMAP target = image_create_dib(side, side, 32);
    HDC dc = CreateCompatibleDC(0);
    HGDIOBJ old = SelectObject(dc, target);
    DrawIconEx(dc, 0, 0, icon, side, side, 0, 0, DI_NORMAL);
    GdiFlush();
    DIBSECTION section;
    GetObjectA(target, sizeof section, &section);
    uint32_t pixel;
    memcpy(&pixel, (uint8_t*)section.dsBm.bmBits + 4 * (side * side / 2 + side / 2), 4);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(target);
    return pixel & 0xFFFFFF;
}

}  // namespace

TEST(IconLoad, TakesTheDeepestEntryOfTheFirstSize) {
    ASSERT_NE(test_load(0, three_entry_icon()), 0);
    ImageObject* image = test_image(0);
    EXPECT_EQ(image->width, 16);
    EXPECT_EQ(image->height, 16);
    EXPECT_EQ(image->source_depth, 32);
    EXPECT_EQ(image->depth, 32);
    EXPECT_EQ(image->format_code, (uint32_t)IMAGE_FORMAT_ICON);
    EXPECT_NE(GetObjectType(image->handle), (DWORD)OBJ_BITMAP);
    EXPECT_EQ(icon_colour((HICON)image->handle, 16), 0x00FF00u);
    image_free(0);
}

TEST(IconLoad, TakesAMonochromeIcon) {
    ASSERT_NE(test_load(0, test_icon_file({{test_picture_indices(32, 32, 2), 1, {0, 0xFFFFFF}}})), 0);
    EXPECT_EQ(test_image(0)->width, 32);
    EXPECT_EQ(test_image(0)->height, 32);
    EXPECT_EQ(test_image(0)->format_code, (uint32_t)IMAGE_FORMAT_ICON);
    image_free(0);
}

TEST(IconSave, AnIconCannotBeSaved) {
    TempFolder folder;
    ASSERT_NE(test_load(0, three_entry_icon()), 0);
    EXPECT_EQ(image_save(0, folder.path("icon.bmp").c_str(), IMAGE_FORMAT_BMP), 0);
    EXPECT_EQ(image_save_ex(0, folder.path("icon.bmp").c_str(), IMAGE_FORMAT_BMP, 7, 24), 0);
    EXPECT_FALSE(folder.exists("icon.bmp"));
    image_free(0);
}

// ---- plug-ins of the tests' own ----

namespace {

// A decoder for data starting "TSTD", then width, height, depth and source depth as
// 32-bit values; it fills every row with its row number counted from the top.
struct DecoderLog {
    int checks = 0, decodes = 0, finishes = 0;
    int32_t pitch = 0, flags = 0;
    bool private_clear = true;
    bool fail_decode = false;
    Bytes offered;
} decoder_log;

int32_t test_check(ImageDecodeRequest* request) {
    decoder_log.checks++;
    decoder_log.offered.assign(request->data, request->data + request->size);
    for (void* word : request->private_area)
        if (word) decoder_log.private_clear = false;
    request->private_area[0] = request;
    if (request->size < 20 || memcmp(request->data, "TSTD", 4) != 0) return 0;
    memcpy(&request->width, request->data + 4, 4);
    memcpy(&request->height, request->data + 8, 4);
    memcpy(&request->depth, request->data + 12, 4);
    memcpy(&request->source_depth, request->data + 16, 4);
    return 1;
}

int32_t test_decode(ImageDecodeRequest* request, uint8_t* pixels, int32_t pitch, int32_t flags) {
    decoder_log.decodes++;
    decoder_log.pitch = pitch;
    decoder_log.flags = flags;
    if (decoder_log.fail_decode) return 0;
    for (int32_t i = 0; i < request->height; i++) {
        uint8_t* row = pixels + (size_t)pitch * ((flags & IMAGE_BOTTOM_UP) ? request->height - 1 - i : i);
        memset(row, i + 1, (size_t)dib_row_bytes(request->width, request->depth));
    }
    return 1;
}

void test_finish(ImageDecodeRequest*) { decoder_log.finishes++; }

const ImageDecoder test_decoder = {test_check, test_decode, test_finish, 0x44545354u};

Bytes decoder_data(int32_t width, int32_t height, int32_t depth, int32_t source_depth) {
    Bytes b = {'T', 'S', 'T', 'D'};
    for (int32_t v : {width, height, depth, source_depth})
        for (int i = 0; i < 4; i++) b.push_back((uint8_t)(v >> (8 * i)));
    return b;
}

// Encoders that keep what they were given.
struct EncoderCall {
    int form = 0;  // 24 or 32
    int32_t width = 0, height = 0, pitch = 0, flags = 0, options = 0, depth = 0;
    Bytes pixels;
    std::string file;
} last_encode;

int32_t keep(int form, const char* file, const uint8_t* pixels, int32_t width, int32_t height,
             int32_t pitch, int32_t flags, int32_t options, int32_t depth) {
    last_encode.form = form;
    last_encode.file = file;
    last_encode.width = width;
    last_encode.height = height;
    last_encode.pitch = pitch;
    last_encode.flags = flags;
    last_encode.options = options;
    last_encode.depth = depth;
    last_encode.pixels.assign(pixels, pixels + (size_t)pitch * height);
    return 5;
}
int32_t keep24(const char* f, const uint8_t* p, int32_t w, int32_t h, int32_t pitch, int32_t fl, int32_t o, int32_t d) {
    return keep(24, f, p, w, h, pitch, fl, o, d);
}
int32_t keep32(const char* f, const uint8_t* p, int32_t w, int32_t h, int32_t pitch, int32_t fl, int32_t o, int32_t d) {
    return keep(32, f, p, w, h, pitch, fl, o, d);
}

const uint32_t ONLY24 = 0x34324F54u, BOTH = 0x32334F54u;
const ImageEncoder only24 = {ONLY24, keep24, nullptr};
const ImageEncoder both = {BOTH, keep24, keep32};

class Plugins : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        static bool registered;
        if (registered) return;
        registered = image_decoder_register(&test_decoder) && image_encoder_register(&only24) &&
                     image_encoder_register(&both);
        ASSERT_TRUE(registered);
    }
    void SetUp() override {
        decoder_log = DecoderLog();
        last_encode = EncoderCall();
    }
};

}  // namespace

TEST_F(Plugins, TheAcceptingDecoderWritesIntoABottomUpDib) {
    ASSERT_NE(test_load(0, decoder_data(5, 3, 24, 12)), 0);
    EXPECT_EQ(decoder_log.checks, 1);
    EXPECT_EQ(decoder_log.decodes, 1);
    EXPECT_EQ(decoder_log.finishes, 1);
    EXPECT_TRUE(decoder_log.private_clear);
    EXPECT_EQ(decoder_log.pitch, dib_row_bytes(5, 24));
    EXPECT_EQ(decoder_log.flags, IMAGE_BOTTOM_UP);
    ImageObject* image = test_image(0);
    EXPECT_EQ(image->width, 5);
    EXPECT_EQ(image->height, 3);
    EXPECT_EQ(image->depth, 24);
    EXPECT_EQ(image->source_depth, 12);
    EXPECT_EQ(image->format_code, test_decoder.format_code);
    // The decoder's first row is the picture's top row.
    TestPicture pixels = test_image_pixels(0);
    for (int32_t y = 0; y < 3; y++) EXPECT_EQ(pixels.at(2, y) & 0xFFFFFF, 0x010101u * (uint32_t)(y + 1)) << y;

    ASSERT_NE(test_load(0, decoder_data(4, 2, 32, 32)), 0);
    EXPECT_EQ(test_image(0)->depth, 32);
    image_free(0);
}

// A decoder's picture of fewer bits: its colour table is whole and zero, so every index
// is black, and a halftone resize averages it as 24 bits.
TEST_F(Plugins, FewerBitsAreResizedAsTwentyFourBits) {
    ASSERT_NE(test_load(0, decoder_data(4, 4, 8, 8)), 0);
    ASSERT_NE(image_resize(0, 2, 2), nullptr);
    TestPicture black = test_image_pixels(0);
    ASSERT_EQ(black.pixels.size(), 4u);
    for (uint32_t pixel : black.pixels) EXPECT_EQ(pixel & 0xFFFFFF, 0u);
    // Rows 1 to 4 from the top at 16 bits: stretched raw for the rows' colours, and
    // halftone, which averages rows 1 and 2, then 3 and 4.
    ASSERT_NE(test_load(0, decoder_data(2, 4, 16, 16)), 0);
    ASSERT_NE(image_resize_ex(0, 4, 4, IMAGE_RESIZE_RAW), nullptr);
    ASSERT_NE(test_load(1, decoder_data(2, 4, 16, 16)), 0);
    ASSERT_NE(image_resize(1, 4, 2), nullptr);
    EXPECT_EQ(test_image(1)->depth, 24);
    TestPicture rows = test_image_pixels(0), averaged = test_image_pixels(1);
    ASSERT_EQ(averaged.pixels.size(), 8u);
    for (int32_t y = 0; y < 2; y++)
        for (int shift : {0, 8, 16}) {
            uint32_t a = rows.at(0, 2 * y) >> shift & 0xFF, b = rows.at(0, 2 * y + 1) >> shift & 0xFF;
            EXPECT_EQ(averaged.at(3, y) >> shift & 0xFF, (a + b + 1) / 2) << y << " " << shift;
        }
    image_free(-1);
}

TEST_F(Plugins, FinishFollowsEveryAcceptedCheckAndOnlyThose) {
    struct { const char* what; Bytes data; bool fail_decode; int decodes; } cases[] = {
        {"decode fails", decoder_data(5, 3, 24, 24), true, 1},
        {"width 0", decoder_data(0, 3, 24, 24), false, 0},
        {"height 0", decoder_data(5, 0, 24, 24), false, 0},
        {"width beyond 16 bits", decoder_data(40000, 1, 24, 24), false, 0},
        {"height beyond 16 bits", decoder_data(1, 32768, 24, 24), false, 0},
        {"negative height", decoder_data(5, -3, 24, 24), false, 0},
        {"depth 7", decoder_data(5, 3, 7, 24), false, 0},
        {"no memory for the DIB", decoder_data(32767, 32767, 32, 32), false, 0},
    };
    for (auto& c : cases) {
        decoder_log = DecoderLog();
        decoder_log.fail_decode = c.fail_decode;
        EXPECT_EQ(test_load(0, c.data), 0) << c.what;
        EXPECT_EQ(decoder_log.checks, 1) << c.what;
        EXPECT_EQ(decoder_log.decodes, c.decodes) << c.what;
        EXPECT_EQ(decoder_log.finishes, 1) << c.what;
        EXPECT_EQ(test_image(0), nullptr) << c.what;
    }
    // Refused by every decoder: finish is not called.
    decoder_log = DecoderLog();
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0};
    EXPECT_EQ(test_load(0, jpeg), 0);
    EXPECT_EQ(decoder_log.checks, 1);
    EXPECT_EQ(decoder_log.finishes, 0);
}

static BOOL WINAPI no_icon_info(HICON, ICONINFO*) { return FALSE; }

TEST_F(Plugins, ACursorFileGoesOnToTheDecoders) {
    Bytes cursor = test_icon_file({{test_picture_filled(16, 16, solid(0x123456)), 32, {}}}, 2);
    EXPECT_EQ(test_load(0, cursor), 0);
    EXPECT_EQ(decoder_log.checks, 1);
    EXPECT_EQ(decoder_log.offered, cursor);
    // An icon file never reaches them, not even one whose bitmaps cannot be read.
    decoder_log = DecoderLog();
    ASSERT_NE(test_load(0, three_entry_icon()), 0);
    EXPECT_EQ(decoder_log.checks, 0);
    image_free(0);
    BYTE* exe = (BYTE*)GetModuleHandleA(0);
    void* real = nullptr;
    ASSERT_TRUE(hook_import(exe, "user32.dll", "GetIconInfo", (void*)no_icon_info, &real));
    int32_t loaded = test_load(0, three_entry_icon());
    hook_import(exe, "user32.dll", "GetIconInfo", real, &real);
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(decoder_log.checks, 0);
}

TEST_F(Plugins, SavingDispatchesByCodeWithTheDefaults) {
    TempFolder folder;
    TestPicture picture = test_picture_gradient(5, 3);
    ASSERT_NE(test_load(0, test_bmp_file(TestBmp{picture, 24, {}})), 0);
    DIBSECTION section;
    ASSERT_EQ(GetObjectA(test_image(0)->handle, sizeof section, &section), (int)sizeof section);
    const uint8_t* bits = (const uint8_t*)section.dsBm.bmBits;
    const Bytes dib(bits, bits + 3 * dib_row_bytes(5, 24));
    std::string path = folder.path("out.tst");
    struct { const char* what; std::function<int32_t()> save; int32_t options, depth; } forms[] = {
        {"image_save", [&] { return image_save(0, path.c_str(), BOTH); }, 7, 24},
        {"image_save with options", [&] { return image_save(0, path.c_str(), BOTH, 3); }, 3, 24},
        {"image_save_ex", [&] { return image_save_ex(0, path.c_str(), BOTH, 9, 8); }, 9, 8},
    };
    for (auto& f : forms) {
        last_encode = EncoderCall();
        EXPECT_EQ(f.save(), 5) << f.what;
        EXPECT_EQ(last_encode.form, 24) << f.what;
        EXPECT_EQ(last_encode.file, path) << f.what;
        EXPECT_EQ(last_encode.width, 5) << f.what;
        EXPECT_EQ(last_encode.height, 3) << f.what;
        EXPECT_EQ(last_encode.pitch, dib_row_bytes(5, 24)) << f.what;
        EXPECT_EQ(last_encode.flags, IMAGE_BOTTOM_UP) << f.what;
        EXPECT_EQ(last_encode.options, f.options) << f.what;
        EXPECT_EQ(last_encode.depth, f.depth) << f.what;
        EXPECT_EQ(last_encode.pixels, dib) << f.what;
    }
    EXPECT_EQ(image_save(0, path.c_str(), 0x58585858u), 0) << "no encoder under that code";
    image_free(0);
}

TEST_F(Plugins, ThirtyTwoBitPixelsGoFlatToA24BitEncoder) {
    TestPicture picture{3, 2, {0x00102030u, 0xFF405060u, 0x80C8C8C8u, 0x00000000u, 0xFFFFFFFFu, 0x01000000u}};
    ASSERT_NE(test_load(0, test_bmp_file(TestBmp{picture, 32, {}})), 0);
    std::string path = "unused.tst";
    // Bottom-up rows: memory row 0 is the picture's bottom row.
    auto flat = [&](int x, int y) {
        const uint8_t* p = &last_encode.pixels[(size_t)(1 - y) * last_encode.pitch + 3 * x];
        return (uint32_t)p[2] << 16 | p[1] << 8 | p[0];
    };
    for (auto encoder : {ONLY24, BOTH}) {
        last_encode = EncoderCall();
        int32_t depth = encoder == BOTH ? 24 : -1;
        ASSERT_EQ(image_save_ex(0, path.c_str(), encoder, 7, depth), 5);
        EXPECT_EQ(last_encode.form, 24);
        EXPECT_EQ(last_encode.pitch, dib_row_bytes(3, 24));
        EXPECT_EQ(flat(0, 0), 0xFFFFFFu) << "transparent is white";
        EXPECT_EQ(flat(1, 0), 0x405060u) << "opaque is unchanged";
        EXPECT_EQ(flat(2, 0), 0xE3E3E3u);
        EXPECT_EQ(flat(0, 1), 0xFFFFFFu);
        EXPECT_EQ(flat(1, 1), 0xFFFFFFu);
        EXPECT_EQ(flat(2, 1), 0xFEFEFEu);
    }
    // An encoder with a 32-bit form gets the pixels as they are.
    for (int32_t depth : {-1, 32}) {
        last_encode = EncoderCall();
        ASSERT_EQ(image_save_ex(0, path.c_str(), BOTH, 7, depth), 5);
        EXPECT_EQ(last_encode.form, 32);
        EXPECT_EQ(last_encode.pitch, 12);
        uint32_t first;
        memcpy(&first, &last_encode.pixels[12], 4);  // the top row is the last in memory
        EXPECT_EQ(first, 0x00102030u);
    }
    image_free(0);
}

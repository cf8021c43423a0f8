// The JPEG encoder plug-in called directly: files and memory output, checked by reading
// the result back with libjpeg; and the growing memory destination on its own.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <jpeglib.h>
#include <jerror.h>  // after jpeglib.h: its error codes depend on the library version

#include "codecs/jpeg/jpeg.h"
#include "codecs/jpeg/jpeg_memory_dest.h"
#include "image/pixels.h"
#include "runtime/memory.h"
#include "tests/support/heap_faults.h"
#include "tests/support/jpeg_maker.h"
#include "tests/support/temp_folder.h"

namespace {

// 24-bit pixels as the image library holds them: blue, green, red, rows padded.
struct Pixels {
    int32_t width;
    int32_t height;
    int32_t pitch;
    Bytes memory;

    Pixels(int32_t w, int32_t h) : width(w), height(h), pitch(dib_row_bytes(w, 24)) {
        memory.assign((size_t)pitch * (h > 0 ? h : 1), 0xEE);
    }
    void set(int32_t x, int32_t memory_row, uint8_t red, uint8_t green, uint8_t blue) {
        uint8_t* p = memory.data() + (size_t)memory_row * pitch + 3 * x;
        p[0] = blue;
        p[1] = green;
        p[2] = red;
    }
};

Pixels gradient(int32_t width, int32_t height) {
    Pixels pixels(width, height);
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++)
            pixels.set(x, y, (uint8_t)(x * 255 / width), (uint8_t)(y * 255 / height), 128);
    return pixels;
}

int32_t encode(const char* file_name, const Pixels& pixels, int32_t flags = IMAGE_BOTTOM_UP,
               int32_t options = IMAGE_OPTIONS_DEFAULT) {
    return jpeg_encoder.encode24(file_name, pixels.memory.data(), pixels.width, pixels.height,
                                 pixels.pitch, flags, options, 24);
}

Bytes file_bytes(const TempFolder& folder, const char* name) {
    return folder.read(name);
}

void expect_rgb(const JpegReading& reading, int32_t x, int32_t y, int red, int green, int blue,
                int tolerance, const std::string& what) {
    const uint8_t* p = reading.samples.data() + ((size_t)y * reading.width + x) * 3;
    EXPECT_NEAR(p[0], red, tolerance) << what << " red at " << x << "," << y;
    EXPECT_NEAR(p[1], green, tolerance) << what << " green at " << x << "," << y;
    EXPECT_NEAR(p[2], blue, tolerance) << what << " blue at " << x << "," << y;
}

}  // namespace

TEST(JpegEncoder, TakesTheQualityFromTheOptionsStep) {
    TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    struct { int32_t options, quality; } cases[] = {
        {7, 70}, {15, 100}, {10, 100}, {-3, 0}, {0, 0}, {1, 10}, {5, 50},
        {INT32_MAX, 100}, {INT32_MIN, 0},
    };
    for (auto& c : cases) {
        std::string path = folder.file("q.jpg");
        ASSERT_EQ(encode(path.c_str(), gradient(16, 16), IMAGE_BOTTOM_UP, c.options), 1) << c.options;
        JpegReading reading;
        ASSERT_TRUE(jpeg_read(file_bytes(folder, "q.jpg"), &reading)) << c.options;
        JpegTables expected = jpeg_quality_tables(c.quality);
        // The neighbouring quality has other tables, so equal tables name the quality.
        ASSERT_NE(expected, jpeg_quality_tables(c.quality == 100 ? 90 : c.quality + 10));
        EXPECT_EQ(reading.tables, expected) << "options " << c.options;
    }
}

TEST(JpegEncoder, WritesAOnePixelPicture) {
    TempFolder folder;
    Pixels pixel(1, 1);
    pixel.set(0, 0, 60, 200, 10);
    ASSERT_EQ(encode(folder.file("one.jpg").c_str(), pixel), 1);
    JpegReading reading;
    ASSERT_TRUE(jpeg_read(file_bytes(folder, "one.jpg"), &reading));
    EXPECT_EQ(reading.width, 1);
    EXPECT_EQ(reading.height, 1);
    expect_rgb(reading, 0, 0, 60, 200, 10, 4, "one pixel");
}

TEST(JpegEncoder, WritesTheLastMemoryRowFirstRedFirst) {
    // Memory rows 0-7 light grey, rows 8-15 stored blue 10, green 20, red 30; width 5
    // leaves padding bytes that must not reach the picture.
    Pixels pixels(5, 16);
    for (int32_t y = 0; y < 16; y++)
        for (int32_t x = 0; x < 5; x++)
            if (y < 8) pixels.set(x, y, 200, 200, 200);
            else pixels.set(x, y, 30, 20, 10);
    TempFolder folder;
    for (int32_t flags : {(int32_t)IMAGE_BOTTOM_UP, 0}) {
        std::string what = flags ? "bottom-up" : "top-down";
        ASSERT_EQ(encode(folder.file("rows.jpg").c_str(), pixels, flags, 10), 1) << what;
        JpegReading reading;
        ASSERT_TRUE(jpeg_read(file_bytes(folder, "rows.jpg"), &reading)) << what;
        ASSERT_EQ(reading.width, 5);
        ASSERT_EQ(reading.height, 16);
        int32_t coloured = flags ? 0 : 15, grey = flags ? 15 : 0;
        for (int32_t x = 0; x < 5; x++) {
            expect_rgb(reading, x, coloured, 30, 20, 10, 3, what);
            expect_rgb(reading, x, grey, 200, 200, 200, 3, what);
        }
    }
}

TEST(JpegEncoder, ReplacesAnExistingFile) {
    TempFolder folder;
    folder.write("old.jpg", std::string(20000, 'x'));
    ASSERT_EQ(encode(folder.file("old.jpg").c_str(), gradient(8, 8)), 1);
    Bytes written = file_bytes(folder, "old.jpg");
    ASSERT_LT(written.size(), 20000u);
    EXPECT_EQ(written[written.size() - 2], 0xFF);
    EXPECT_EQ(written[written.size() - 1], 0xD9);
    JpegReading reading;
    EXPECT_TRUE(jpeg_read(written, &reading));
}

TEST(JpegEncoder, LeavesNoFileWhenLibjpegFails) {
    // Sides libjpeg refuses when compression starts; with and without a file there before.
    struct { int32_t width, height; } cases[] = {{0, 4}, {4, 0}, {0, 0}, {-1, 4}, {4, -1}, {INT32_MIN, 1}, {70000, 1}};
    TempFolder folder;
    int32_t live = heap_live_blocks();
    for (auto& c : cases)
        for (bool existed : {false, true}) {
            std::string what = std::to_string(c.width) + "x" + std::to_string(c.height) +
                               (existed ? " over a file" : "");
            if (existed) folder.write("fail.jpg", std::string("an older picture"));
            Pixels pixels(4, 4);
            EXPECT_EQ(jpeg_encoder.encode24(folder.file("fail.jpg").c_str(), pixels.memory.data(),
                                            c.width, c.height, pixels.pitch, IMAGE_BOTTOM_UP, 7, 24),
                      0)
                << what;
            EXPECT_FALSE(folder.exists("fail.jpg")) << what;
            // Into memory the same sides give nothing and keep nothing.
            EXPECT_EQ(jpeg_encoder.encode24(nullptr, pixels.memory.data(), c.width, c.height,
                                            pixels.pitch, IMAGE_BOTTOM_UP, 7, 24),
                      0)
                << what;
        }
    EXPECT_EQ(heap_live_blocks(), live);
}

TEST(JpegEncoder, CreatesNothingInAMissingFolder) {
    TempFolder folder;
    std::string path = folder.file("missing") + "/" + "out.jpg";
    EXPECT_EQ(encode(path.c_str(), gradient(4, 4)), 0);
    EXPECT_FALSE(folder.exists("missing"));
}

TEST(JpegEncoder, EncodesIntoAMemoryBlockOfTheReportedSize) {
    Pixels pixels(6, 9);
    for (int32_t y = 0; y < 9; y++)
        for (int32_t x = 0; x < 6; x++) pixels.set(x, y, 30, 20, 10);
    int32_t live = heap_live_blocks();
    jpeg_encoded_size = 0;
    uint8_t* block = (uint8_t*)(intptr_t)encode(nullptr, pixels, IMAGE_BOTTOM_UP, 10);
    ASSERT_NE(block, nullptr);
    ASSERT_GT(jpeg_encoded_size, 100u);
    // Shrunk to what was produced.
    EXPECT_EQ(HeapSize(memory_heap, 0, block), (SIZE_T)jpeg_encoded_size);
    Bytes encoded(block, block + jpeg_encoded_size);
    EXPECT_EQ(memory_free(block), 1);
    EXPECT_EQ(heap_live_blocks(), live);
    EXPECT_EQ(encoded[encoded.size() - 1], 0xD9);
    JpegReading reading;
    ASSERT_TRUE(jpeg_read(encoded, &reading));
    EXPECT_EQ(reading.width, 6);
    EXPECT_EQ(reading.height, 9);
    expect_rgb(reading, 5, 8, 30, 20, 10, 3, "memory");
}

namespace {

struct TinyStart {
    JpegMemoryDestination* dest;
    uint32_t first;
    uint32_t* reported;
};

void install_tiny_start(j_compress_ptr cinfo, void* context) {
    TinyStart* start = (TinyStart*)context;
    uint8_t* block = (uint8_t*)memory_alloc((int32_t)start->first, MEMORY_NO_CLEAR);
    jpeg_memory_dest(cinfo, start->dest, block, start->first, start->reported);
}

// Compresses the picture into a memory destination that starts with `first` bytes.
// The libjpeg error code, or 0 on success.
int compress_into_memory(const JpegMake& picture, uint32_t first, JpegMemoryDestination* dest,
                         uint32_t* reported) {
    *dest = JpegMemoryDestination{};
    TinyStart start = {dest, first, reported};
    return jpeg_make_through(picture, install_tiny_start, &start);
}

JpegMake noise(int32_t width, int32_t height) {
    JpegMake make{width, height, 3, JCS_RGB, JCS_YCbCr, 75, {}};
    uint32_t seed = 12345;
    for (int64_t i = 0; i < (int64_t)width * height * 3; i++) {
        seed = seed * 1103515245u + 12345u;
        make.samples.push_back((uint8_t)(seed >> 16));
    }
    return make;
}

}  // namespace

TEST(JpegMemoryDest, GrowsFromATinyBlockAndWritesOnlyInsideIt) {
    JpegMake picture = noise(40, 30);
    int32_t live = heap_live_blocks();
    JpegMemoryDestination roomy, tiny;
    uint32_t roomy_reported = 0, tiny_reported = 0;
    ASSERT_EQ(compress_into_memory(picture, 1 << 20, &roomy, &roomy_reported), 0);
    ASSERT_EQ(compress_into_memory(picture, 16, &tiny, &tiny_reported), 0);
    EXPECT_EQ(roomy.block_size, 1u << 20);
    EXPECT_EQ(roomy.produced, roomy_reported);
    EXPECT_EQ(tiny.produced, tiny_reported);
    ASSERT_GT(tiny.produced, 1000u);
    // Doubled from 16 until the picture fitted, and the block really is that large.
    EXPECT_GE(tiny.block_size, tiny.produced);
    EXPECT_LE(tiny.block_size, 2 * tiny.produced);
    EXPECT_EQ(tiny.block_size & (tiny.block_size - 1), 0u);
    EXPECT_EQ(HeapSize(memory_heap, 0, tiny.block), (SIZE_T)tiny.block_size);
    // Growing changes nothing in what is written; the room behind it stays untouched.
    Bytes from_tiny(tiny.block, tiny.block + tiny.produced);
    EXPECT_EQ(from_tiny, Bytes(roomy.block, roomy.block + roomy.produced));
    for (uint32_t i = tiny.produced; i < tiny.block_size; i++) ASSERT_EQ(tiny.block[i], 0) << i;
    memory_free(roomy.block);
    memory_free(tiny.block);
    EXPECT_EQ(heap_live_blocks(), live);
    JpegReading reading;
    ASSERT_TRUE(jpeg_read(from_tiny, &reading));
    EXPECT_EQ(reading.width, 40);
    EXPECT_EQ(reading.height, 30);
}

#ifndef _WIN32
TEST(JpegMemoryDest, FailsCleanlyWhenTheBlockCannotGrow) {
    int32_t live = heap_live_blocks();
    JpegMemoryDestination dest;
    uint32_t reported = 77;
    // The first heap allocation is the block itself; the second its first growth.
    heap_faults_arm(2, 1);
    int code = compress_into_memory(noise(16, 16), 16, &dest, &reported);
    heap_faults_disarm();
    EXPECT_EQ(code, JERR_OUT_OF_MEMORY);
    EXPECT_EQ(reported, 77u);
    EXPECT_EQ(dest.block_size, 16u);
    ASSERT_NE(dest.block, nullptr);
    EXPECT_EQ(memory_free(dest.block), 1);
    EXPECT_EQ(heap_live_blocks(), live);
}
#endif

TEST(JpegEncoder, RegistersOnlyOnce) {
    static const ImageEncoder other = {0x21212121u, jpeg_encoder.encode24, nullptr};
    EXPECT_EQ(jpeg_encoder.format_code, (uint32_t)IMAGE_FORMAT_JPEG);
    EXPECT_EQ(jpeg_encoder.encode32, nullptr);
    jpeg_encoder_register();
    jpeg_encoder_register();
    EXPECT_EQ(image_encoder_find(IMAGE_FORMAT_JPEG), &jpeg_encoder);
    int32_t room = 0;
    while (image_encoder_register(&other)) room++;
    EXPECT_EQ(room, IMAGE_CODEC_SLOTS - 1);
}

// Heap exhaustion in the platform-neutral picture path (host build): each operation runs
// once whole, then again for every k up to the number of allocations it makes, with the
// k-th allocation failing, whether it comes from the runtime's heaps, the C heap or
// libjpeg. Every run must give back every block, fail with a 0 result, or succeed with
// exactly the whole run's output.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "codecs/jpeg/jpeg.h"
#include "image/bmp.h"
#include "image/halftone.h"
#include "image/pixels.h"
#include "image/quantiser.h"
#include "image/resample.h"
#include "runtime/memory.h"
#include "tests/fuzz/seeds.h"
#include "tests/support/c_heap_faults.h"
#include "tests/support/heap_faults.h"
#include "tests/support/pictures.h"
#include "tests/support/temp_folder.h"

namespace {

// An operation under test: true when it succeeded, with its whole output in *output,
// and nothing of its own left allocated either way.
typedef std::function<bool(Bytes* output)> Operation;

struct Case {
    std::string name;
    Operation operation;
};

// Two kinds of shortage: one allocation fails (code may retry smaller, as libjpeg's pools
// do), or the heap is exhausted and every allocation from the k-th on fails.
void expect_clean_failures(const Case& c) {
    Bytes whole;
    ASSERT_TRUE(c.operation(&whole)) << c.name;
    for (int32_t count : {1, INT32_MAX}) {
        int32_t failed_runs = 0;
        sweep_failing_allocations([&](int32_t k) {
            std::string what = c.name + ", allocations failing from " + std::to_string(k) +
                               (count == 1 ? " once" : " on");
            int32_t heap_blocks = heap_live_blocks();
            int32_t c_blocks = c_heap_live_blocks();
            Bytes output;
            c_heap_faults_arm(k, count);
            bool done = c.operation(&output);
            int32_t asked = c_heap_faults_disarm();
            EXPECT_EQ(heap_live_blocks(), heap_blocks) << what;
            EXPECT_EQ(c_heap_live_blocks(), c_blocks) << what;
            if (asked < k) {
                EXPECT_TRUE(done) << what << ": failed with every allocation granted";
            }
            // A success is whole: a failure that was not got over shows as 0.
            if (done) {
                EXPECT_EQ(output, whole) << what;
            } else {
                failed_runs++;
            }
            return asked;
        });
        // The operation allocates at all, so the sweep met failures.
        EXPECT_GT(failed_runs, 0) << c.name;
    }
}

// A gradient picture as packed bytes: blue, green, red (and alpha), rows stride apart.
Bytes picture_bytes(int32_t width, int32_t height, int32_t channels, int32_t stride, uint8_t alpha = 200) {
    TestPicture picture = test_picture_gradient(width, height, alpha);
    Bytes bytes((size_t)stride * height, 0);
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++)
            for (int32_t ch = 0; ch < channels; ch++)
                bytes[(size_t)y * stride + (size_t)x * channels + ch] = (uint8_t)(picture.at(x, y) >> (8 * ch));
    return bytes;
}

bool jpeg_decode_whole(const Bytes& file, Bytes* pixels) {
    ImageDecodeRequest request = {};
    request.data = file.data();
    request.size = (uint32_t)file.size();
    request.from_memory = 1;
    if (!jpeg_decoder.check(&request)) return false;
    int32_t pitch = dib_row_bytes(request.width, request.depth);
    pixels->assign((size_t)pitch * request.height, 0);
    bool done = jpeg_decoder.decode(&request, pixels->data(), pitch, IMAGE_BOTTOM_UP) != 0;
    jpeg_decoder.finish(&request);
    return done;
}

int32_t append_to_bytes(void* context, const void* data, uint32_t size) {
    const uint8_t* bytes = (const uint8_t*)data;
    ((Bytes*)context)->insert(((Bytes*)context)->end(), bytes, bytes + size);
    return 1;
}

}  // namespace

TEST(HeapExhaustion, JpegDecoderFailsCleanly) {
    std::vector<Bytes> files = fuzz_seeds("jpeg_decoder");
    ASSERT_FALSE(files.empty());
    for (size_t i = 0; i < files.size(); i++)
        expect_clean_failures({"decoding JPEG seed " + std::to_string(i),
                               [&](Bytes* pixels) { return jpeg_decode_whole(files[i], pixels); }});
}

TEST(HeapExhaustion, JpegEncoderFailsCleanly) {
    const int32_t sizes[][2] = {{1, 1}, {16, 16}, {37, 21}};
    for (const auto& size : sizes) {
        int32_t width = size[0], height = size[1], pitch = dib_row_bytes(width, 24);
        Bytes pixels = picture_bytes(width, height, 3, pitch);
        std::string shape = std::to_string(width) + "x" + std::to_string(height);
        expect_clean_failures({"encoding " + shape + " into memory",
                               [&](Bytes* out) {
                                   int32_t block = jpeg_encoder.encode24(
                                       0, pixels.data(), width, height, pitch, IMAGE_BOTTOM_UP, 7, 24);
                                   if (!block) return false;
                                   uint8_t* bytes = (uint8_t*)(intptr_t)block;
                                   out->assign(bytes, bytes + jpeg_encoded_size);
                                   memory_free(bytes);
                                   return true;
                               }});
        TempFolder folder;
        ASSERT_FALSE(folder.path().empty());
        std::string path = folder.file("out.jpg");
        expect_clean_failures({"encoding " + shape + " into a file",
                               [&](Bytes* out) {
                                   int32_t done = jpeg_encoder.encode24(
                                       path.c_str(), pixels.data(), width, height, pitch, 0, 5, 24);
                                   // A failed save leaves no partial file behind.
                                   if (!done) return !folder.exists("out.jpg") && false;
                                   *out = folder.read("out.jpg");
                                   return remove(path.c_str()) == 0;
                               }});
        EXPECT_FALSE(folder.exists("out.jpg"));
    }
}

TEST(HeapExhaustion, ResamplerFailsCleanly) {
    struct Shape {
        int32_t bits, source_width, source_height, target_width, target_height;
    } shapes[] = {
        {24, 13, 7, 5, 11}, {32, 9, 9, 20, 3}, {24, 6, 40, 6, 4}, {32, 1, 1, 3, 2},
    };
    for (const Shape& s : shapes) {
        int32_t channels = s.bits / 8;
        Bytes source = picture_bytes(s.source_width, s.source_height, channels, s.source_width * channels);
        expect_clean_failures(
            {"resampling " + std::to_string(s.bits) + "-bit " + std::to_string(s.source_width) + "x" +
                 std::to_string(s.source_height) + " to " + std::to_string(s.target_width) + "x" +
                 std::to_string(s.target_height),
             [&](Bytes* target) {
                 target->assign((size_t)s.target_width * s.target_height * channels, 0);
                 return resample_2d(s.bits, source.data(), s.source_width, s.source_height,
                                    target->data(), s.target_width, s.target_height) == 1;
             }});
    }
}

TEST(HeapExhaustion, HalftoneStretchFailsCleanly) {
    struct Shape {
        int32_t channels, source_width, source_height, target_width, target_height;
    } shapes[] = {
        {3, 17, 12, 5, 4},   // the height shrinks: column sums first
        {4, 7, 3, 11, 9},    // the height grows: rows summed across, then down
        {3, 10, 10, 10, 10},
    };
    for (const Shape& s : shapes) {
        int32_t source_stride = dib_row_bytes(s.source_width, 8 * s.channels);
        int32_t target_stride = dib_row_bytes(s.target_width, 8 * s.channels);
        Bytes source = picture_bytes(s.source_width, s.source_height, s.channels, source_stride);
        expect_clean_failures(
            {"stretching " + std::to_string(s.channels) + " channels " + std::to_string(s.source_width) +
                 "x" + std::to_string(s.source_height) + " to " + std::to_string(s.target_width) + "x" +
                 std::to_string(s.target_height),
             [&](Bytes* target) {
                 target->assign((size_t)target_stride * s.target_height, 0);
                 return halftone_stretch(source.data(), s.source_width, s.source_height, source_stride,
                                         target->data(), s.target_width, s.target_height,
                                         target_stride, s.channels) == 1;
             }});
    }
}

TEST(HeapExhaustion, QuantiserFailsCleanly) {
    struct Setting {
        int32_t pixel_depth, target_depth, options;
    } settings[] = {
        {24, 1, 0}, {24, 4, 0}, {32, 8, 0}, {24, 8, QUANTISER_DITHER}, {32, 4, QUANTISER_DITHER},
    };
    const int32_t width = 19, height = 7;
    for (const Setting& s : settings) {
        int32_t pitch = dib_row_bytes(width, s.pixel_depth);
        Bytes pixels = picture_bytes(width, height, s.pixel_depth / 8, pitch, 130);
        expect_clean_failures({"quantising " + std::to_string(s.pixel_depth) + " bits to " +
                                   std::to_string(s.target_depth) + " with options " +
                                   std::to_string(s.options),
                               [&](Bytes* rows) {
                                   Quantiser* q = quantiser_create(pixels.data(), width, height,
                                                                   s.pixel_depth, pitch,
                                                                   s.target_depth, s.options);
                                   if (!q) return false;
                                   int32_t row_bytes = dib_row_bytes(width, s.target_depth);
                                   for (int32_t y = 0; y < height; y++) {
                                       const uint8_t* row = quantiser_row(q, y);
                                       rows->insert(rows->end(), row, row + row_bytes);
                                   }
                                   rows->insert(rows->end(), &q->palette[0][0], &q->palette[0][0] + sizeof q->palette);
                                   quantiser_free(q);
                                   return true;
                               }});
    }
}

TEST(HeapExhaustion, BmpWriterFailsCleanly) {
    const int32_t width = 13, height = 5;
    for (int32_t pixel_depth : {24, 32}) {
        int32_t pitch = dib_row_bytes(width, pixel_depth);
        Bytes pixels = picture_bytes(width, height, pixel_depth / 8, pitch);
        for (int32_t depth : {1, 4, 8, 24, 32}) {
            expect_clean_failures({"writing a " + std::to_string(depth) + "-bit BMP from " +
                                       std::to_string(pixel_depth) + " bits",
                                   [&](Bytes* file) {
                                       BmpSink sink = {append_to_bytes, file};
                                       return bmp_encode(&sink, pixels.data(), pitch, width, height,
                                                         pixel_depth, 0, 0, depth) == 1;
                                   }});
        }
    }
}

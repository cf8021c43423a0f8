// The JPEG decoder plug-in called as the image library calls it: check on a zeroed
// request, decode into rows dib_row_bytes apart, finish. Pictures come from libjpeg.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "codecs/jpeg/jpeg.h"
#include "image/pixels.h"
#include "image/properties.h"
#include "tests/support/heap_faults.h"
#include "tests/support/jpeg_maker.h"

namespace {

const uint8_t FILL = 0xCD;

// The request after check, and the target rows after decode (filled with FILL first).
struct Decoding {
    int32_t accepted = 0;
    int32_t decoded = 0;
    ImageDecodeRequest request = {};
    int32_t pitch = 0;
    Bytes memory;
    int32_t flags = IMAGE_BOTTOM_UP;

    // Blue, green, red of a pixel counted from the picture's top.
    const uint8_t* pixel(int32_t x, int32_t y) const {
        int32_t row = (flags & IMAGE_BOTTOM_UP) ? request.height - 1 - y : y;
        return memory.data() + (size_t)row * pitch + 3 * x;
    }
};

bool private_area_clear(const ImageDecodeRequest& request) {
    for (void* word : request.private_area)
        if (word) return false;
    return true;
}

// Runs check, and after an acceptance decode and finish, as the image library does.
Decoding run_decoder(const ImageDecodeRequest& start, int32_t flags) {
    Decoding out;
    out.request = start;
    out.flags = flags;
    out.accepted = jpeg_decoder.check(&out.request);
    if (!out.accepted) {
        // A refusal has released everything itself.
        EXPECT_TRUE(private_area_clear(out.request));
        return out;
    }
    out.pitch = dib_row_bytes(out.request.width, out.request.depth);
    out.memory.assign((size_t)out.pitch * out.request.height, FILL);
    out.decoded = jpeg_decoder.decode(&out.request, out.memory.data(), out.pitch, flags);
    jpeg_decoder.finish(&out.request);
    EXPECT_TRUE(private_area_clear(out.request));
    return out;
}

Decoding decode_memory(const Bytes& data, int32_t flags = IMAGE_BOTTOM_UP) {
    ImageDecodeRequest request = {};
    request.from_memory = 1;
    request.data = data.data();
    request.size = (uint32_t)data.size();
    return run_decoder(request, flags);
}

// The same through a C stream holding the data; false when no stream could be made.
bool decode_stream(const Bytes& data, Decoding* out) {
    FILE* stream = tmpfile();
    if (!stream) return false;
    if (!data.empty()) fwrite(data.data(), 1, data.size(), stream);
    ImageDecodeRequest request = {};
    request.stream = stream;
    *out = run_decoder(request, IMAGE_BOTTOM_UP);
    fclose(stream);
    return true;
}

Bytes grey_picture(int32_t width, int32_t height) {
    return jpeg_make(jpeg_uniform(width, height, JCS_GRAYSCALE, JCS_GRAYSCALE, {90}));
}

Bytes colour_picture() {
    return jpeg_make(jpeg_bands(24, 24, {{200, 40, 10}, {10, 90, 220}, {128, 128, 128}}, 90));
}

void expect_bgr(const uint8_t* pixel, int red, int green, int blue, int tolerance, const std::string& what) {
    EXPECT_NEAR(pixel[0], blue, tolerance) << what << " blue";
    EXPECT_NEAR(pixel[1], green, tolerance) << what << " green";
    EXPECT_NEAR(pixel[2], red, tolerance) << what << " red";
}

}  // namespace

TEST(JpegDecoder, RefusesDataWithoutTheStartOfImageMarker) {
    Bytes valid = grey_picture(8, 8);
    ASSERT_GT(valid.size(), 100u);
    Bytes no_marker = valid;
    no_marker[1] = 0xD9;
    Bytes shifted(valid.begin() + 1, valid.end());
    struct { const char* what; Bytes data; uint32_t size; } cases[] = {
        {"no bytes", {}, 0},
        {"one byte", {0xFF}, 1},
        {"first byte of a picture only", valid, 1},
        {"end-of-image marker", no_marker, (uint32_t)no_marker.size()},
        {"one byte late", shifted, (uint32_t)shifted.size()},
        {"bitmap", {'B', 'M', 0xFF, 0xD8, 0, 0}, 6},
    };
    int32_t live = heap_live_blocks();
    for (auto& c : cases) {
        ImageDecodeRequest request = {};
        request.from_memory = 1;
        request.data = c.data.data();
        request.size = c.size;
        EXPECT_EQ(jpeg_decoder.check(&request), 0) << c.what;
        EXPECT_TRUE(private_area_clear(request)) << c.what;
    }
    // No data at all, whatever the size says.
    ImageDecodeRequest request = {};
    request.from_memory = 1;
    request.size = 100;
    EXPECT_EQ(jpeg_decoder.check(&request), 0);
    EXPECT_EQ(heap_live_blocks(), live);
}

TEST(JpegDecoder, RefusesStreamsWithoutAPicture) {
    Bytes valid = grey_picture(8, 8);
    struct { const char* what; Bytes data; } cases[] = {
        {"empty", {}},
        {"one byte", {0xFF}},
        {"the marker alone", {0xFF, 0xD8}},
        {"no marker", Bytes(valid.begin() + 2, valid.end())},
        {"header cut", Bytes(valid.begin(), valid.begin() + 20)},
    };
    int32_t live = heap_live_blocks();
    for (auto& c : cases) {
        Decoding out;
        if (!decode_stream(c.data, &out)) GTEST_SKIP() << "no temporary stream";
        EXPECT_EQ(out.accepted, 0) << c.what;
    }
    EXPECT_EQ(heap_live_blocks(), live);
}

TEST(JpegDecoder, ReadsAStreamAsItReadsMemory) {
    Bytes data = colour_picture();
    Decoding from_memory = decode_memory(data);
    Decoding from_stream;
    int32_t live = heap_live_blocks();
    if (!decode_stream(data, &from_stream)) GTEST_SKIP() << "no temporary stream";
    EXPECT_EQ(heap_live_blocks(), live);
    ASSERT_EQ(from_stream.accepted, 1);
    EXPECT_EQ(from_stream.decoded, 1);
    EXPECT_EQ(from_stream.request.width, 24);
    EXPECT_EQ(from_stream.request.height, 24);
    EXPECT_EQ(from_stream.memory, from_memory.memory);
}

TEST(JpegDecoder, RefusesBrokenHeadersAgainAndAgainWithoutLeaking) {
    Bytes valid = colour_picture();
    size_t frame = jpeg_marker_offset(valid, 0xC0);
    size_t scan = jpeg_marker_offset(valid, 0xDA);
    ASSERT_GT(frame, 0u);
    ASSERT_GT(scan, frame);
    auto broken = [&](size_t at, uint8_t value) {
        Bytes data = valid;
        data[at] = value;
        return data;
    };
    // Frame header: marker, length (2), precision, height (2), width (2), components,
    // then per component: id, sampling factors, table.
    std::vector<std::pair<std::string, Bytes>> cases = {
        {"frame length", broken(frame + 3, 5)},
        {"precision", broken(frame + 4, 3)},
        {"no width", broken(frame + 8, 0)},
        {"no components", broken(frame + 9, 0)},
        {"sampling factor 0", broken(frame + 11, 0)},
        {"quantisation table 9", broken(frame + 12, 9)},
        {"unknown marker", broken(frame + 1, 0x01)},
    };
    // Every header cut before its scan: the data ends without an image.
    for (size_t length = 2; length <= scan; length++)
        cases.push_back({"cut at " + std::to_string(length), Bytes(valid.begin(), valid.begin() + length)});

    int32_t live = heap_live_blocks();
    for (int round = 0; round < 20; round++)
        for (auto& c : cases) {
            Decoding out = decode_memory(c.second);
            ASSERT_EQ(out.accepted, 0) << c.first;
        }
    EXPECT_EQ(heap_live_blocks(), live);
    // The untouched picture is taken: the cases above differ from it in their break only.
    EXPECT_EQ(decode_memory(valid).decoded, 1);
    EXPECT_EQ(heap_live_blocks(), live);
}

TEST(JpegDecoder, RefusesAFrameOfTwoComponents) {
    JpegMake make{8, 8, 2, JCS_UNKNOWN, JCS_UNKNOWN, 90, Bytes(8 * 8 * 2, 100)};
    Bytes data = jpeg_make(make);
    ASSERT_FALSE(data.empty());
    int32_t live = heap_live_blocks();
    EXPECT_EQ(decode_memory(data).accepted, 0);
    EXPECT_EQ(heap_live_blocks(), live);
}

TEST(JpegDecoder, RefusesSidesTheImageRecordCannotHold) {
    struct { int32_t width, height, accepted; } cases[] = {
        {40000, 8, 0}, {8, 40000, 0}, {32768, 8, 0}, {32767, 8, 1}, {8, 32767, 1},
    };
    int32_t live = heap_live_blocks();
    for (auto& c : cases) {
        Bytes data = grey_picture(c.width, c.height);
        ASSERT_FALSE(data.empty());
        ImageDecodeRequest request = {};
        request.from_memory = 1;
        request.data = data.data();
        request.size = (uint32_t)data.size();
        EXPECT_EQ(jpeg_decoder.check(&request), c.accepted) << c.width << "x" << c.height;
        if (c.accepted) {
            EXPECT_EQ(request.width, c.width);
            EXPECT_EQ(request.height, c.height);
            jpeg_decoder.finish(&request);
        }
        EXPECT_TRUE(private_area_clear(request));
        EXPECT_EQ(heap_live_blocks(), live) << c.width << "x" << c.height;
    }
}

TEST(JpegDecoder, LoadsGreyAsThreeEqualBytes) {
    // Bands of 8 rows in four greys: uniform blocks come back exactly at quality 100.
    const uint8_t greys[] = {0, 77, 201, 255};
    JpegMake make{5, 32, 1, JCS_GRAYSCALE, JCS_GRAYSCALE, 100, {}};
    for (int32_t y = 0; y < make.height; y++) make.samples.insert(make.samples.end(), 5, greys[y / 8]);
    Decoding out = decode_memory(jpeg_make(make));
    ASSERT_EQ(out.accepted, 1);
    EXPECT_EQ(out.decoded, 1);
    EXPECT_EQ(out.request.depth, 24);
    EXPECT_EQ(out.request.source_depth, 24);
    for (int32_t y = 0; y < 32; y++)
        for (int32_t x = 0; x < 5; x++) {
            const uint8_t* p = out.pixel(x, y);
            ASSERT_EQ(p[0], greys[y / 8]) << x << "," << y;
            ASSERT_EQ(p[1], greys[y / 8]) << x << "," << y;
            ASSERT_EQ(p[2], greys[y / 8]) << x << "," << y;
        }
}

TEST(JpegDecoder, LoadsCmykAndYcckThroughTheBlackChannel) {
    // Red, green, blue = C, M, Y scaled by K / 255, truncated.
    struct { Bytes cmyk; int red, green, blue; } pixels[] = {
        {{200, 100, 50, 255}, 200, 100, 50},
        {{200, 100, 50, 0}, 0, 0, 0},
        {{255, 255, 255, 0}, 0, 0, 0},
        {{255, 255, 255, 128}, 128, 128, 128},
        {{10, 20, 30, 100}, 3, 7, 11},
        {{0, 0, 0, 255}, 0, 0, 0},
    };
    for (J_COLOR_SPACE space : {JCS_CMYK, JCS_YCCK})
        for (auto& p : pixels) {
            std::string what = std::string(space == JCS_CMYK ? "CMYK " : "YCCK ") +
                               std::to_string(p.cmyk[0]) + "," + std::to_string(p.cmyk[1]) + "," +
                               std::to_string(p.cmyk[2]) + "," + std::to_string(p.cmyk[3]);
            Decoding out = decode_memory(jpeg_make(jpeg_uniform(8, 8, JCS_CMYK, space, p.cmyk)));
            ASSERT_EQ(out.accepted, 1) << what;
            EXPECT_EQ(out.decoded, 1) << what;
            EXPECT_EQ(out.request.depth, 24) << what;
            EXPECT_EQ(out.request.source_depth, 32) << what;
            expect_bgr(out.pixel(0, 0), p.red, p.green, p.blue, 0, what);
            expect_bgr(out.pixel(7, 7), p.red, p.green, p.blue, 0, what);
        }
}

TEST(JpegDecoder, WritesTheTopScanlineLastBlueFirstAndLeavesThePadding) {
    // Width 5: three padding bytes end every row. Top band red-ish, bottom band blue-ish.
    const int32_t width = 5, height = 16;
    Bytes rgb_file = jpeg_make([&] {
        JpegMake make = jpeg_bands(width, height, {{200, 40, 10}, {10, 90, 220}});
        make.file_space = JCS_RGB;
        return make;
    }());
    Bytes ycc_file = jpeg_make(jpeg_bands(width, height, {{200, 40, 10}, {10, 90, 220}}));
    struct { const char* what; const Bytes* data; int32_t flags; } cases[] = {
        {"YCbCr, bottom-up", &ycc_file, IMAGE_BOTTOM_UP},
        {"YCbCr, top-down", &ycc_file, 0},
        {"RGB, bottom-up", &rgb_file, IMAGE_BOTTOM_UP},
    };
    for (auto& c : cases) {
        Decoding out = decode_memory(*c.data, c.flags);
        ASSERT_EQ(out.accepted, 1) << c.what;
        EXPECT_EQ(out.decoded, 1) << c.what;
        EXPECT_EQ(out.request.width, width) << c.what;
        EXPECT_EQ(out.request.source_depth, 24) << c.what;
        ASSERT_EQ(out.pitch, 16) << c.what;
        // The picture's first scanline: in memory row height - 1 when bottom-up.
        const uint8_t* first = out.memory.data() + (c.flags ? (height - 1) * out.pitch : 0);
        const uint8_t* last = out.memory.data() + (c.flags ? 0 : (height - 1) * out.pitch);
        for (int32_t x = 0; x < width; x++) {
            expect_bgr(first + 3 * x, 200, 40, 10, 2, std::string(c.what) + " top");
            expect_bgr(last + 3 * x, 10, 90, 220, 2, std::string(c.what) + " bottom");
        }
        for (int32_t row = 0; row < height; row++)
            for (int32_t i = 3 * width; i < out.pitch; i++)
                ASSERT_EQ(out.memory[(size_t)row * out.pitch + i], FILL) << c.what << " row " << row;
    }
}

TEST(JpegDecoder, LoadsAPictureCutShortAtFullSize) {
    Bytes whole = colour_picture();
    size_t scan = jpeg_marker_offset(whole, 0xDA);
    ASSERT_GT(scan, 0u);
    Decoding full = decode_memory(whole);
    ASSERT_EQ(full.decoded, 1);
    // Cut before the end-of-image marker, inside the entropy-coded data, and right
    // after the scan header; the top rows survive all but the last.
    struct { size_t length; bool top_rows_kept; } cases[] = {
        {whole.size() - 2, true}, {scan + (whole.size() - scan) / 2, true}, {scan + 14, false},
    };
    size_t top_rows = (size_t)full.pitch * 8;
    for (auto& c : cases) {
        Decoding out = decode_memory(Bytes(whole.begin(), whole.begin() + c.length));
        ASSERT_EQ(out.accepted, 1) << c.length;
        EXPECT_EQ(out.decoded, 1) << c.length;
        EXPECT_EQ(out.request.width, 24) << c.length;
        EXPECT_EQ(out.request.height, 24) << c.length;
        ASSERT_EQ(out.memory.size(), full.memory.size());
        // Bottom-up: the picture's top rows end the memory.
        bool same_top = std::equal(out.memory.end() - top_rows, out.memory.end(), full.memory.end() - top_rows);
        EXPECT_EQ(same_top, c.top_rows_kept) << c.length;
    }
}

TEST(JpegDecoder, DecodesNothingWithoutAcceptedData) {
    ImageDecodeRequest request = {};
    request.height = 4;
    uint8_t row[16];
    EXPECT_EQ(jpeg_decoder.decode(&request, row, 16, IMAGE_BOTTOM_UP), 0);
    jpeg_decoder.finish(&request);
    EXPECT_TRUE(private_area_clear(request));
}

#ifndef _WIN32
TEST(JpegDecoder, ReleasesEverythingWhenAnAllocationFails) {
    Bytes data = colour_picture();
    for (bool stream : {false, true}) {
        int32_t live = heap_live_blocks();
        sweep_failing_allocations([&](int32_t k) {
            Decoding out;
            heap_faults_arm(k, 1);
            if (stream) decode_stream(data, &out);
            else out = decode_memory(data);
            int32_t asked = heap_faults_disarm();
            // Every block check takes is needed: any failure refuses.
            EXPECT_EQ(out.accepted, asked < k ? 1 : 0) << "k = " << k << (stream ? " stream" : "");
            EXPECT_EQ(heap_live_blocks(), live) << "k = " << k;
            return asked;
        });
    }
}
#endif

TEST(JpegDecoder, RegistersOnlyOnce) {
    // A refusing decoder that counts the checks it is offered, to fill the table up.
    static int offered;
    static const ImageDecoder refuser = {
        [](ImageDecodeRequest*) -> int32_t { offered++; return 0; },
        [](ImageDecodeRequest*, uint8_t*, int32_t, int32_t) -> int32_t { return 0; },
        [](ImageDecodeRequest*) {}, 0x21212121u};
    image_codecs_init();
    jpeg_decoder_register();
    jpeg_decoder_register();
    int32_t room = 0;
    while (image_decoder_register(&refuser)) room++;
    EXPECT_EQ(room, IMAGE_CODEC_SLOTS - 1);

    // The one JPEG entry comes first and takes a picture; other data goes to the rest.
    Bytes data = grey_picture(4, 4);
    offered = 0;
    EXPECT_EQ(image_decoder_find(image_decode_request, data.data(), (uint32_t)data.size()), &jpeg_decoder);
    EXPECT_EQ(offered, 0);
    jpeg_decoder.finish(image_decode_request);
    const uint8_t other[] = {'G', 'I', 'F', '8', '9', 'a'};
    EXPECT_EQ(image_decoder_find(image_decode_request, other, sizeof other), nullptr);
    EXPECT_EQ(offered, room);
}

TEST(ExifOrientation, ReadsOnlyAWholeFirstIfdInEitherByteOrder) {
    struct { const char* what; Bytes payload; int32_t orientation; } cases[] = {
        {"II", jpeg_exif(false, 8, 1, 0x0112, 6, 0), 6},
        {"MM", jpeg_exif(true, 8, 1, 0x0112, 6, 0), 6},
        {"orientation 1", jpeg_exif(true, 8, 1, 0x0112, 1, 0), 1},
        {"orientation 9", jpeg_exif(false, 8, 1, 0x0112, 9, 0), 0},
        {"tag absent", jpeg_exif(true, 8, 1, 0x010F, 6, 0), 0},
        {"IFD past the end", jpeg_exif(false, 25, 1, 0x0112, 6, 0), 0},
        {"entries past the end", jpeg_exif(true, 8, 2, 0x0112, 6, 0), 0},
        {"next IFD is itself", jpeg_exif(false, 8, 1, 0x0112, 6, 8), 6},
        {"no TIFF header", {'E', 'x', 'i', 'f', 0, 0}, 0},
    };
    for (auto& c : cases) {
        Bytes block(c.payload);  // exactly sized: a read past it is reported
        EXPECT_EQ(image_exif_orientation(block.data(), (uint32_t)block.size()), c.orientation) << c.what;
    }
}

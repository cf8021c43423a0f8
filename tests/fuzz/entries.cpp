// The fuzz entry points: hostile bytes through the JPEG decoder plug-in, the BMP and icon
// header checks and the quantiser, with every promise they make checked.
#include "tests/fuzz/entries.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "codecs/jpeg/jpeg.h"
#include "image/bmp.h"
#include "image/pixels.h"
#include "image/properties.h"
#include "image/quantiser.h"
#include "tests/support/heap_faults.h"

namespace {

// A broken promise: as loud as a sanitizer report, so that libFuzzer keeps the input.
void require(bool holds, const char* what) {
    if (holds) return;
    fprintf(stderr, "fuzz: %s\n", what);
    abort();
}

// Reads every byte of a range, so that a range beyond the data is an out-of-bounds read
// the sanitizers report; the sum only keeps the reads from being optimised away.
volatile uint32_t touched;
void touch(const uint8_t* data, uint32_t offset, uint32_t size) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < size; i++) sum += data[offset + i];
    touched = touched + sum;
}

uint32_t read16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
uint32_t read32(const uint8_t* p) { return read16(p) | read16(p + 2) << 16; }

// Pictures above a megapixel take long to decode and teach the fuzzer nothing new: the
// row loop is the same. The decoder's own limits stay in force for everything below.
enum { JPEG_MAX_PIXELS = 1 << 20 };

// The sides the first frame header gives, walking the markers as libjpeg does (stray
// bytes and fill bytes skipped); false when a scan or the end comes first. Lets large
// pictures be skipped before check allocates their working memory.
bool jpeg_frame_sides(const uint8_t* data, size_t size, uint32_t* width, uint32_t* height) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
    size_t at = 2;
    while (at + 4 <= size) {
        uint8_t marker = data[at + 1];
        if (data[at] != 0xFF || marker == 0xFF) {
            at++;
            continue;
        }
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            at += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return false;
        bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                     marker != 0xCC;
        if (frame) {
            if (at + 9 > size) return false;
            *height = (uint32_t)data[at + 5] << 8 | data[at + 6];
            *width = (uint32_t)data[at + 7] << 8 | data[at + 8];
            return true;
        }
        at += 2 + ((size_t)data[at + 2] << 8 | data[at + 3]);
    }
    return false;
}

// The bytes of a DIB's info header, colour masks and colour table as the system reads
// them (sized as a BITMAPINFO): at least the 40-byte header and three masks with bit
// fields, then min(colours used, 256) colours, or all 2^bits when none are given at 8
// bits and below.
uint64_t system_info_bytes(const uint8_t* info) {
    uint64_t header = read32(info);
    uint32_t bits = read16(info + 14), compression = read32(info + 16), used = read32(info + 32);
    if (compression == 3 && header < BMP_INFO_HEADER_SIZE + 12) header = BMP_INFO_HEADER_SIZE + 12;
    uint32_t colours = used ? (used < 256 ? used : 256) : bits <= 8 ? 1u << bits : 0;
    return header + 4 * (uint64_t)colours;
}

bool private_area_clear(const ImageDecodeRequest& request) {
    for (void* word : request.private_area)
        if (word) return false;
    return true;
}

}  // namespace

int32_t fuzz_jpeg_decoder(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    uint32_t frame_width, frame_height;
    if (jpeg_frame_sides(data, size, &frame_width, &frame_height) &&
        (uint64_t)frame_width * frame_height > JPEG_MAX_PIXELS)
        return 0;
    int32_t live = heap_live_blocks();
    ImageDecodeRequest request = {};
    request.data = data;
    request.size = (uint32_t)size;
    request.from_memory = 1;
    if (!jpeg_decoder.check(&request)) {
        require(private_area_clear(request), "a refused check left its working state");
        require(heap_live_blocks() == live, "a refused check left blocks in the heaps");
        return 0;
    }
    require(request.width >= 1 && request.width <= IMAGE_MAX_SIDE, "width out of range");
    require(request.height >= 1 && request.height <= IMAGE_MAX_SIDE, "height out of range");
    require(request.depth == 24, "decode writes other than 24-bit pixels");
    require(request.source_depth == 24 || request.source_depth == 32, "unknown source depth");
    int32_t decoded = 0;
    if ((uint64_t)request.width * request.height <= JPEG_MAX_PIXELS) {
        // Exactly the DIB the library would make: a write past it is reported.
        int32_t pitch = dib_row_bytes(request.width, request.depth);
        size_t bytes = (size_t)pitch * (size_t)request.height;
        uint8_t* pixels = (uint8_t*)malloc(bytes);
        require(pixels != 0, "no memory for the picture");
        // The padding bytes at each row's end are not the decoder's to write.
        memset(pixels, 0xA5, bytes);
        decoded = jpeg_decoder.decode(&request, pixels, pitch, IMAGE_BOTTOM_UP);
        int32_t row_end = request.width * 3;
        for (int32_t y = 0; y < request.height; y++)
            for (int32_t x = row_end; x < pitch; x++)
                require(pixels[(size_t)y * pitch + x] == 0xA5, "decode wrote into row padding");
        free(pixels);
    }
    // Only a whole picture carries anything: an orientation of 2 to 8, an RGB profile.
    if (const ImageProperties* carried = image_properties_decoded) {
        int32_t turn = carried->orientation, size = (int32_t)carried->profile_size;
        require(decoded && (turn == 0 || (turn >= 2 && turn <= 8)) && (turn || size), "orientation");
        require(!size || (size >= 128 && !memcmp(image_properties_profile(carried) + 16, "RGB ", 4)), "profile");
    }
    jpeg_decoder.finish(&request);
    require(private_area_clear(request), "finish left working state");
    require(heap_live_blocks() == live, "a decode left blocks in the heaps");
    return decoded;
}

int32_t fuzz_bmp(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    BmpLayout layout;
    if (!bmp_parse(data, (uint32_t)size, &layout)) return 0;
    require(layout.width >= 1 && layout.width <= IMAGE_MAX_SIDE, "width out of range");
    int32_t rows = layout.height < 0 ? -layout.height : layout.height;
    require(rows >= 1 && rows <= IMAGE_MAX_SIDE, "height out of range");
    int32_t bits = layout.bit_count;
    require(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32,
            "unknown bit count");
    require(layout.info_bytes >= BMP_INFO_HEADER_SIZE, "info header too short");
    require(BMP_FILE_HEADER_SIZE + (uint64_t)layout.info_bytes <= size, "info beyond the data");
    require((uint64_t)layout.pixel_offset + layout.pixel_bytes <= size, "pixels beyond the data");
    bool run_length = layout.compression == 1 || layout.compression == 2;
    if (run_length)
        require(layout.height > 0, "run-length rows stored top-down");
    else
        require(layout.pixel_bytes >= (uint64_t)dib_row_bytes(layout.width, bits) * rows,
                "fewer pixel bytes than rows");
    // The system reads the info header, its masks and palette, then the pixels.
    uint64_t info = system_info_bytes(data + BMP_FILE_HEADER_SIZE);
    require(BMP_FILE_HEADER_SIZE + info <= size, "the system would read the info beyond the data");
    touch(data, BMP_FILE_HEADER_SIZE, (uint32_t)info);
    touch(data, BMP_FILE_HEADER_SIZE, layout.info_bytes);
    touch(data, layout.pixel_offset, layout.pixel_bytes);
    return 1;
}

int32_t fuzz_icon(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    IconImage image;
    if (!icon_choose(data, (uint32_t)size, &image)) return 0;
    require(image.size > 0 && (uint64_t)image.offset + image.size <= size, "image beyond the data");
    if (!image.is_png) {
        require(image.desired_width >= 1 && image.desired_width <= IMAGE_MAX_SIDE,
                "width out of range");
        require(image.desired_height >= 1 && image.desired_height <= IMAGE_MAX_SIDE,
                "height out of range");
        require(image.size >= BMP_INFO_HEADER_SIZE, "image shorter than its info header");
        // The system reads the DIB's info, then colour rows and mask rows of half its height.
        const uint8_t* info = data + image.offset;
        int32_t width = (int32_t)read32(info + 4), rows = (int32_t)read32(info + 8) / 2;
        int32_t bits = (int32_t)read16(info + 14);
        require(width == image.desired_width && rows == image.desired_height, "sides not the DIB's");
        uint64_t needed = system_info_bytes(info) + (uint64_t)dib_row_bytes(width, bits) * rows +
                          (uint64_t)dib_row_bytes(width, 1) * rows;
        require(needed <= image.size, "the system would read beyond the image");
    }
    touch(data, image.offset, image.size);
    return 1;
}

// ---- the quantiser ----
//
// Input: 8 header bytes, then pixels, repeated as often as the picture needs.
//   0-1  width - 1 (of 4096)        2-3  height - 1 (of 4096), cut to 4096 pixels
//   4    target depth: 0 -> 1, 1 -> 4, else 8
//   5    FUZZ_QUANTISER_* flags     6    row padding in bytes (of 16)
//   7    bit 0: hostile sizes: four 32-bit values follow (width, height, pixel depth,
//        target depth), given to quantiser_create as they are.

void fuzz_quantiser_header(const FuzzQuantiserInput* input, uint8_t header[FUZZ_QUANTISER_HEADER]) {
    uint32_t width = (uint32_t)input->width - 1, height = (uint32_t)input->height - 1;
    header[0] = (uint8_t)width;
    header[1] = (uint8_t)(width >> 8);
    header[2] = (uint8_t)height;
    header[3] = (uint8_t)(height >> 8);
    header[4] = input->target_depth == 1 ? 0 : input->target_depth == 4 ? 1 : 2;
    header[5] = (uint8_t)input->flags;
    header[6] = (uint8_t)input->pitch_padding;
    header[7] = 0;
}

namespace {

// Checks one packed row: indices of target_depth bits, then zero bits up to the row's
// 4-byte end.
void check_packed_row(const uint8_t* row, int32_t width, int32_t depth) {
    int32_t bits = width * depth;
    int32_t row_bytes = dib_row_bytes(width, depth);
    for (int32_t bit = bits; bit < row_bytes * 8; bit++)
        require(((row[bit / 8] >> (7 - bit % 8)) & 1) == 0, "row padding bits not zero");
}

int32_t quantise(const uint8_t* pixels, int32_t width, int32_t height, int32_t pixel_depth,
                 int32_t pitch, int32_t target_depth, int32_t options) {
    Quantiser* q = quantiser_create(pixels, width, height, pixel_depth, pitch, target_depth, options);
    require(q != 0, "a picture of valid sizes was refused");
    for (int32_t row = 0; row < height; row++)
        check_packed_row(quantiser_row(q, row), width, target_depth);
    quantiser_free(q);
    return 1;
}

bool sizes_valid(int64_t width, int64_t height, int32_t pixel_depth, int32_t target_depth) {
    return width > 0 && height > 0 && (pixel_depth == 24 || pixel_depth == 32) &&
           (target_depth == 1 || target_depth == 4 || target_depth == 8) &&
           width * height * 4 <= 0x7FFFFFFF;
}

}  // namespace

int32_t fuzz_quantiser(const uint8_t* data, size_t size) {
    if (size < FUZZ_QUANTISER_HEADER) return 0;
    int32_t width = 1 + (int32_t)(read16(data) % 4096);
    int32_t height = 1 + (int32_t)(read16(data + 2) % 4096);
    int32_t target_depth = data[4] == 0 ? 1 : data[4] == 1 ? 4 : 8;
    int32_t flags = data[5];
    int32_t padding = data[6] % 16;
    int32_t pixel_depth = (flags & FUZZ_QUANTISER_32_BITS) ? 32 : 24;
    int32_t options = (flags & FUZZ_QUANTISER_DITHER) ? QUANTISER_DITHER : 0;
    const uint8_t* rest = data + FUZZ_QUANTISER_HEADER;
    size_t rest_size = size - FUZZ_QUANTISER_HEADER;
    int32_t live = heap_live_blocks();
    if (data[7] & 1) {
        if (rest_size < 16) return 0;
        int32_t raw_width = (int32_t)read32(rest), raw_height = (int32_t)read32(rest + 4);
        int32_t raw_depth = (int32_t)read32(rest + 8), raw_target = (int32_t)read32(rest + 12);
        if (sizes_valid(raw_width, raw_height, raw_depth, raw_target)) {
            // Sizes it must take: taken below when they fit the pixels at hand.
            width = raw_width;
            height = raw_height;
            pixel_depth = raw_depth;
            target_depth = raw_target;
            rest += 16;
            rest_size -= 16;
        } else {
            uint8_t pixel[4] = {1, 2, 3, 4};
            require(quantiser_create(pixel, raw_width, raw_height, raw_depth, 4, raw_target,
                                     options) == 0,
                    "sizes out of range were taken");
            require(heap_live_blocks() == live, "a refusal left blocks in the heaps");
            return 0;
        }
    }
    if ((int64_t)width * height > FUZZ_QUANTISER_MAX_PIXELS) height = FUZZ_QUANTISER_MAX_PIXELS / width;
    if (height < 1) return 0;
    int32_t pitch = width * (pixel_depth / 8) + padding;
    std::vector<uint8_t> pixels((size_t)pitch * height);
    for (size_t i = 0; rest_size && i < pixels.size(); i++) pixels[i] = rest[i % rest_size];
    std::vector<uint8_t> before = pixels;
    int32_t taken = quantise(pixels.data(), width, height, pixel_depth, pitch, target_depth, options);
    require(pixels == before, "the caller's pixels were written");
    require(heap_live_blocks() == live, "quantising left blocks in the heaps");
    return taken;
}

const FuzzEntry fuzz_entries[FUZZ_ENTRY_COUNT] = {
    {"jpeg_decoder", fuzz_jpeg_decoder},
    {"bmp", fuzz_bmp},
    {"icon", fuzz_icon},
    {"quantiser", fuzz_quantiser},
};

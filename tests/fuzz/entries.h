// The fuzz targets' entry points. Each takes arbitrary bytes, runs one reader of hostile
// input on them and checks what the reader promises; a broken promise aborts, as a
// sanitizer report does. The libFuzzer targets and the replay test call the same
// functions, so a saved crash replays exactly in both builds.
//
// The runtime's heaps and the string engine must be up. Each returns 1 when the input
// was taken (decoded, parsed, quantised) and 0 when it was refused.
#ifndef VANTOREL_TESTS_FUZZ_ENTRIES_H
#define VANTOREL_TESTS_FUZZ_ENTRIES_H

#include <stddef.h>
#include <stdint.h>

// jpeg_decoder.check, then decode into a bottom-up DIB of the reported size, then finish.
int32_t fuzz_jpeg_decoder(const uint8_t* data, size_t size);
// bmp_parse; every byte of the promised ranges is read.
int32_t fuzz_bmp(const uint8_t* data, size_t size);
// icon_choose; every byte of the chosen image is read.
int32_t fuzz_icon(const uint8_t* data, size_t size);
// quantiser_create and every row, with the sizes, depths and options taken from the
// first bytes (see the file) and the pixels from the rest.
int32_t fuzz_quantiser(const uint8_t* data, size_t size);

struct FuzzEntry {
    const char* name;  // the target's name: fuzz_<name> is its program
    int32_t (*run)(const uint8_t* data, size_t size);
};
enum { FUZZ_ENTRY_COUNT = 4 };
extern const FuzzEntry fuzz_entries[FUZZ_ENTRY_COUNT];

// The quantiser input for the given sizes and options, followed by the pixels.
enum { FUZZ_QUANTISER_DITHER = 1, FUZZ_QUANTISER_32_BITS = 2 };
struct FuzzQuantiserInput {
    int32_t width;
    int32_t height;
    int32_t target_depth;
    int32_t flags;          // FUZZ_QUANTISER_*
    int32_t pitch_padding;  // extra bytes per row, 0 to 15
};
enum { FUZZ_QUANTISER_HEADER = 8, FUZZ_QUANTISER_MAX_PIXELS = 4096 };
void fuzz_quantiser_header(const FuzzQuantiserInput* input, uint8_t header[FUZZ_QUANTISER_HEADER]);

#endif

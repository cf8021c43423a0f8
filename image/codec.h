// The image library's chief header: the plug-in records through which codecs meet the
// library, their registration, and loading and saving by number. Plain types only, so
// that platform-neutral codecs include it as well.
//
// A decoder recognises encoded data in check, which fills the ImageDecodeRequest with
// the picture's size; the library then creates a bottom-up DIB of that size and depth,
// hands its pixel memory to decode, and always ends with finish. An encoder writes
// 24-bit (and optionally 32-bit) pixels to a file under a four-character code.
#ifndef VANTOREL_IMAGE_CODEC_H
#define VANTOREL_IMAGE_CODEC_H

#include <stdint.h>
#include <stdio.h>

// Four-character codes: the letters in memory order, read as a little-endian integer.
enum : uint32_t {
    IMAGE_FORMAT_JPEG = 0x4745504Au,
    IMAGE_FORMAT_BMP = 0x00504D42u,
    IMAGE_FORMAT_ICON = 0x4E4F4349u,
};

enum {
    IMAGE_BOTTOM_UP = 2,        // flags: the first row in memory is the picture's bottom row
    IMAGE_OPTIONS_DEFAULT = 7,  // encoder options when the caller gives none
    IMAGE_CODEC_SLOTS = 30,     // room in each plug-in table
    IMAGE_DECODER_PRIVATE_WORDS = 8,
};

struct ImageDecodeRequest;

struct ImageDecoder {
    int32_t (*check)(ImageDecodeRequest* request);  // non-zero: accepted
    int32_t (*decode)(ImageDecodeRequest* request, uint8_t* pixels, int32_t pitch, int32_t flags);
    void (*finish)(ImageDecodeRequest* request);
    uint32_t format_code;
};

typedef int32_t (*ImageEncode)(const char* file_name, const uint8_t* pixels, int32_t width,
                               int32_t height, int32_t pitch, int32_t flags, int32_t options,
                               int32_t depth);

struct ImageEncoder {
    uint32_t format_code;
    ImageEncode encode24;  // blue, green, red
    ImageEncode encode32;  // blue, green, red, alpha; null when the encoder takes 24 only
};

// One request, reused for every load; cleared before each trial.
struct ImageDecodeRequest {
    const ImageDecoder* decoder;  // the decoder that accepted the data
    FILE* stream;                 // a file source, closed after finish when from_memory is 0
    const uint8_t* data;
    uint32_t size;
    int32_t from_memory;
    int32_t width;   // set by check
    int32_t height;  // set by check
    int32_t depth;   // set by check: bits per pixel of the DIB decode writes into
    void* private_area[IMAGE_DECODER_PRIVATE_WORDS];  // the decoder's own, cleared before check
    int32_t source_depth;  // set by check: bits per pixel of the encoded picture
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ImageDecoder) == 16, "ImageDecoder keeps its 32-bit layout");
static_assert(sizeof(ImageEncoder) == 12, "ImageEncoder keeps its 32-bit layout");
static_assert(sizeof(ImageDecodeRequest) == 68, "ImageDecodeRequest keeps its 32-bit layout");
#endif

extern ImageDecodeRequest* image_decode_request;

// Start-up step: empties the decoder table and creates the shared request.
void image_codecs_init(void);
// Append to the tables; 0 when a table is full.
int32_t image_decoder_register(const ImageDecoder* decoder);
int32_t image_encoder_register(const ImageEncoder* encoder);

// Clears the request, points it at the data and offers it to each decoder in
// registration order; the first whose check accepts is stored in the request and
// returned. Null when none accepts (finish is then not called).
const ImageDecoder* image_decoder_find(ImageDecodeRequest* request, const uint8_t* data,
                                       uint32_t size);
// The first encoder registered under that code, or null.
const ImageEncoder* image_encoder_find(uint32_t code);

// Loading and saving by image number (-1: a new automatic number). image_load and
// image_load_memory return the handle, or for -1 the new number, or 0.
int32_t image_load(int32_t number, const char* file_name, int32_t flags = 0);
int32_t image_load_memory(int32_t number, const void* data, uint32_t size);
// Depth -1 writes the depth the image came from.
int32_t image_save(int32_t number, const char* file_name, uint32_t code,
                   int32_t options = IMAGE_OPTIONS_DEFAULT);
int32_t image_save_ex(int32_t number, const char* file_name, uint32_t code, int32_t options,
                      int32_t depth);
int32_t image_encode_dispatch(const char* file_name, const uint8_t* pixels, uint32_t code,
                              int32_t width, int32_t height, int32_t pitch, int32_t pixel_depth,
                              int32_t flags, int32_t options, int32_t depth);
// A BMP file of 1, 4, 8, 24 or 32 bits; any failure deletes the file.
int32_t bmp_write(const char* file_name, const uint8_t* pixels, int32_t pitch, int32_t width,
                  int32_t height, int32_t pixel_depth, int32_t flags, int32_t options,
                  int32_t depth);

#endif

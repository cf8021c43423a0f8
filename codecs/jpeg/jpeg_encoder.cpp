// The JPEG encoder plug-in: 24-bit blue-green-red pixels to a JPEG file (or to a block
// of memory_heap for a null file name) with libjpeg's default settings at the chosen
// quality. The file is written under a temporary name in its folder and takes its own
// name only once whole and closed, so that a run ended at any moment leaves no partial
// JPEG under a picture's name; a failure deletes both.
// libjpeg reads the rows where they lie and takes them as blue, green, red itself.
// The picture's orientation and colour profile follow the JFIF header when it has any.
#include <string.h>
#ifdef _WIN32
#include <share.h>
#endif

#include "codecs/jpeg/jpeg.h"
#include "codecs/jpeg/jpeg_errors.h"
#include "codecs/jpeg/jpeg_memory_dest.h"
#include "image/kept.h"
#include "image/properties.h"
#include "runtime/memory.h"
#include "runtime/platform.h"

uint32_t jpeg_encoded_size;

namespace {

// Rows handed to libjpeg in one write: fewer calls, the same bytes.
constexpr JDIMENSION ROWS_PER_WRITE = 16;

int32_t quality_from_options(int32_t options) {
    if (options > 10) options = 10;
    if (options < 0) options = 0;
    return options * 10;
}

// The smallest Exif segment for the orientation, then the profile in APP2 chunks.
void properties_write(j_compress_ptr cinfo, const ImageProperties* properties) {
    if (properties->orientation != IMAGE_ORIENTATION_NONE) {
        uint8_t exif[IMAGE_EXIF_SEGMENT_SIZE];
        image_exif_segment(properties->orientation, exif);
        jpeg_write_marker(cinfo, JPEG_APP0 + 1, exif, sizeof exif);
    }
    if (properties->profile_size)
        jpeg_write_icc_profile(cinfo, image_properties_profile(properties),
                               properties->profile_size);
}

// Compresses the picture into the stream, or into the memory destination when the
// stream is null. 0 when libjpeg failed, -1 when for want of memory; the caller then
// removes what was written.
int32_t compress(FILE* file, JpegMemoryDestination* memory, const uint8_t* pixels, int32_t width,
                 int32_t height, int32_t pitch, int32_t flags, int32_t options) {
    // libjpeg on 32 bits reads a side of 2^31 or more as negative, passes its own size
    // check with it and divides by zero later: such sides fail here as libjpeg would.
    if (width < 0 || height < 0) return 0;
    jpeg_compress_struct cinfo;
    JpegErrorHandler errors;
    cinfo.err = jpeg_errors_jumping(&errors);
    errors.manager.trace_level = -1;
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&cinfo);
        return errors.manager.msg_code == JERR_OUT_OF_MEMORY ? -1 : 0;
    }
    jpeg_create_compress(&cinfo);
    if (file) jpeg_stdio_dest(&cinfo, file);
    else jpeg_memory_dest(&cinfo, memory, memory->block, memory->block_size, &jpeg_encoded_size);
    cinfo.image_width = (JDIMENSION)width;
    cinfo.image_height = (JDIMENSION)height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality_from_options(options), FALSE);
    jpeg_start_compress(&cinfo, TRUE);
    if (image_properties_saving) properties_write(&cinfo, image_properties_saving);

    while (cinfo.next_scanline < cinfo.image_height) {
        JDIMENSION first = cinfo.next_scanline;
        JDIMENSION count = cinfo.image_height - first < ROWS_PER_WRITE ? cinfo.image_height - first
                                                                       : ROWS_PER_WRITE;
        JSAMPROW rows[ROWS_PER_WRITE];
        for (JDIMENSION k = 0; k < count; k++) {
            JDIMENSION row =
                (flags & IMAGE_BOTTOM_UP) ? cinfo.image_height - 1 - (first + k) : first + k;
            rows[k] = (JSAMPROW)(pixels + (size_t)pitch * (size_t)row);
        }
        // Neither destination suspends; were one to, too few rows fail the finish below.
        if (jpeg_write_scanlines(&cinfo, rows, count) == 0) break;
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return 1;
}

// Ends in ".tmp", so no "*.jpg" scan finds it, by its long name or its short one.
const char TEMPORARY_NAME[] = "~vantorel.tmp";

// The temporary name in the folder of file_name, walked by character so that a trail byte
// is never taken for a separator; 0 when it does not fit.
int32_t temporary_path(const char* file_name, char* path, size_t size) {
    size_t folder = 0;
    for (const char* p = file_name; *p; p = CharNextA(p))
        if (*p == '\\' || *p == '/') folder = (size_t)(p - file_name) + 1;
    if (folder + sizeof TEMPORARY_NAME > size) return 0;
    memcpy(path, file_name, folder);
    memcpy(path + folder, TEMPORARY_NAME, sizeof TEMPORARY_NAME);
    return 1;
}

// Unshared while written: another run saving into the same folder fails instead of
// writing into it.
FILE* open_temporary(const char* path) {
#ifdef _WIN32
    return _fsopen(path, "wb", _SH_DENYRW);
#else
    return fopen(path, "wb");
#endif
}

int32_t jpeg_encode24(const char* file_name, const uint8_t* pixels, int32_t width, int32_t height,
                      int32_t pitch, int32_t flags, int32_t options, int32_t) {
    // Short of memory, what the image library keeps goes and the picture is compressed
    // once more, a file from its start again.
    if (file_name) {
        char temporary[1024];
        if (!temporary_path(file_name, temporary, sizeof temporary)) return 0;
        FILE* file = open_temporary(temporary);
        if (!file) return 0;
        int32_t done = compress(file, 0, pixels, width, height, pitch, flags, options);
        if (done == -1 && image_kept_give_back()) {
            fclose(file);
            file = open_temporary(temporary);
            done = file ? compress(file, 0, pixels, width, height, pitch, flags, options) : 0;
        }
        // A stream that cannot be closed cleanly has lost the picture's tail.
        if (file && fclose(file) != 0) done = 0;
        if (done == 1 && !MoveFileExA(temporary, file_name, MOVEFILE_REPLACE_EXISTING)) done = 0;
        // An older file under the name goes too, so that it never passes for this picture.
        if (done != 1) {
            DeleteFileA(temporary);
            DeleteFileA(file_name);
        }
        return done == 1 ? 1 : 0;
    }
    int64_t size = (int64_t)width * height * 3 + 32768;
    if (width < 0 || height < 0 || size > 0x7FFFFFFF) return 0;
    JpegMemoryDestination memory = {};
    memory.block = (uint8_t*)image_memory_alloc((int32_t)size, MEMORY_NO_CLEAR);
    if (!memory.block) return 0;
    memory.block_size = (uint32_t)size;
    int32_t done = compress(0, &memory, pixels, width, height, pitch, flags, options);
    if (done == -1 && image_kept_give_back())
        done = compress(0, &memory, pixels, width, height, pitch, flags, options);
    if (done != 1) {
        memory_free(memory.block);
        return 0;
    }
    uint8_t* block = (uint8_t*)memory_realloc(memory.block, (int32_t)memory.produced);
    if (!block) block = memory.block;
    return (int32_t)(intptr_t)block;
}

bool encoder_registered;

}  // namespace

void jpeg_encoder_remove_temporary(const char* folder) {
    char path[1024];
    if (temporary_path(folder, path, sizeof path)) DeleteFileA(path);
}

const ImageEncoder jpeg_encoder = {IMAGE_FORMAT_JPEG, jpeg_encode24, 0};

void jpeg_encoder_register(void) {
    if (encoder_registered) return;
    image_encoder_register(&jpeg_encoder);
    encoder_registered = true;
}

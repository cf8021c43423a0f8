// The JPEG decoder plug-in. check reads the header and starts decompression, decode
// writes the scanlines straight into the DIB (top scanline into the last row for a
// bottom-up DIB), finish releases what check set up. Its working state sits in the
// request's private words: the decompression state, the error handler, the row writer,
// for a stream source the read buffer, and what the picture carries for a viewer (its
// orientation, an RGB colour profile), read with the header, published at the end of a
// successful decode for the library to take, and dropped by finish when it did not.
//
// Grey, YCbCr and RGB pictures come out of libjpeg already as blue, green, red, written
// by its own colour converter into the DIB rows themselves; only CMYK pictures pass
// through the row writer's sample buffer to be converted here.
#include <stdlib.h>
#include <string.h>

#include "codecs/jpeg/jpeg.h"
#include "codecs/jpeg/jpeg_errors.h"
#include "image/kept.h"
#include "image/properties.h"
#include "runtime/memory.h"

namespace {

enum { WORD_STATE, WORD_ERRORS, WORD_WRITER, WORD_READ_BUFFER, WORD_PROPERTIES };

struct RowWriter {
    uint8_t* target_row;
    JSAMPARRAY samples;  // CMYK only: one row of output_width * 4 samples, rounded up to 4
};

// DIB rows handed to libjpeg in one read: fewer calls, the same bytes.
constexpr JDIMENSION ROWS_PER_READ = 16;

struct DecoderState {
    jpeg_decompress_struct cinfo;
    int created;  // the libjpeg object exists and must be destroyed
};

DecoderState*& state_of(ImageDecodeRequest* request) {
    return (DecoderState*&)request->private_area[WORD_STATE];
}
JpegErrorHandler*& errors_of(ImageDecodeRequest* request) {
    return (JpegErrorHandler*&)request->private_area[WORD_ERRORS];
}
RowWriter*& writer_of(ImageDecodeRequest* request) {
    return (RowWriter*&)request->private_area[WORD_WRITER];
}
uint8_t*& read_buffer_of(ImageDecodeRequest* request) {
    return (uint8_t*&)request->private_area[WORD_READ_BUFFER];
}
ImageProperties*& properties_of(ImageDecodeRequest* request) {
    return (ImageProperties*&)request->private_area[WORD_PROPERTIES];
}

// The decompression state and the error handler, with all of libjpeg's memory.
void decompress_free(ImageDecodeRequest* request) {
    DecoderState* state = state_of(request);
    if (state) {
        if (state->created) jpeg_destroy_decompress(&state->cinfo);
        HeapFree(object_heap, 0, state);
    }
    if (errors_of(request)) HeapFree(object_heap, 0, errors_of(request));
    image_properties_free(properties_of(request));
    properties_of(request) = 0;
    state_of(request) = 0;
    errors_of(request) = 0;
    writer_of(request) = 0;
}

void jpeg_finish(ImageDecodeRequest* request) {
    decompress_free(request);
    image_properties_free(image_properties_decoded);
    image_properties_decoded = 0;
    if (read_buffer_of(request)) HeapFree(object_heap, 0, read_buffer_of(request));
    read_buffer_of(request) = 0;
}

// The whole encoded data: in place from memory, or read from the stream into a buffer.
// Only the first two bytes are read here; the rest once the marker has been seen.
const uint8_t* find_data(ImageDecodeRequest* request, uint32_t* length) {
    if (request->from_memory) {
        if (!request->data || request->size < 2) return 0;
        *length = request->size;
        return request->data;
    }
    FILE* stream = request->stream;
    if (!stream || fseek(stream, 0, SEEK_END) != 0) return 0;
    long end = ftell(stream);
    if (fseek(stream, 0, SEEK_SET) != 0 || end <= 2 || end > 0x7FFFFFFF) return 0;
    uint8_t* buffer = (uint8_t*)HeapAlloc(object_heap, 0, (SIZE_T)end);
    if (!buffer) return 0;
    read_buffer_of(request) = buffer;
    if (fread(buffer, 1, 2, stream) != 2) return 0;
    *length = (uint32_t)end;
    return buffer;
}

// The orientation of the first Exif segment and the profile of a whole ICC chunk
// sequence (jpeg_read_icc_profile refuses missing, repeated or miscounted chunks), as
// far as they may be carried. A libjpeg error, and want of memory, jump back.
ImageProperties* properties_read(j_decompress_ptr cinfo) {
    int32_t orientation = IMAGE_ORIENTATION_NONE;
    for (jpeg_saved_marker_ptr marker = cinfo->marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1 || marker->data_length < 6 ||
            memcmp(marker->data, "Exif\0", 6) != 0)
            continue;
        orientation = image_exif_orientation(marker->data, marker->data_length);
        break;
    }
    JOCTET* profile = 0;
    unsigned int profile_size = 0;
    jpeg_read_icc_profile(cinfo, &profile, &profile_size);
    bool failed;
    ImageProperties* properties = image_properties_new(orientation, profile, profile_size, &failed);
    free(profile);
    if (failed) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    return properties;
}

// Reads the header and starts decompression; a libjpeg error jumps back here. 1 when
// started, 0 when refused, -1 when memory could not be had.
int32_t start_decompress(ImageDecodeRequest* request, const uint8_t* data, uint32_t length) {
    state_of(request) = (DecoderState*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, sizeof(DecoderState));
    errors_of(request) =
        (JpegErrorHandler*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, sizeof(JpegErrorHandler));
    DecoderState* state = state_of(request);
    JpegErrorHandler* errors = errors_of(request);
    if (!state || !errors) return -1;
    jpeg_decompress_struct* cinfo = &state->cinfo;
    cinfo->err = jpeg_errors_silent(errors);
    if (setjmp(errors->back)) return errors->manager.msg_code == JERR_OUT_OF_MEMORY ? -1 : 0;
    // Marked before creating: an allocation that fails inside jpeg_create_decompress
    // leaves a memory manager that only jpeg_destroy_decompress frees (on the zeroed
    // state it does nothing).
    state->created = 1;
    jpeg_create_decompress(cinfo);
    cinfo->err->trace_level = 0;
    jpeg_mem_src(cinfo, data, length);
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
    if (jpeg_read_header(cinfo, TRUE) == JPEG_SUSPENDED) return 0;
    if (cinfo->jpeg_color_space == JCS_UNKNOWN) return 0;
    properties_of(request) = properties_read(cinfo);
    cinfo->dct_method = JDCT_ISLOW;
    if (cinfo->jpeg_color_space == JCS_GRAYSCALE || cinfo->jpeg_color_space == JCS_YCbCr ||
        cinfo->jpeg_color_space == JCS_RGB)
        cinfo->out_color_space = JCS_EXT_BGR;
    else if (cinfo->jpeg_color_space == JCS_YCCK)
        cinfo->out_color_space = JCS_CMYK;

    RowWriter* writer = (RowWriter*)(*cinfo->mem->alloc_small)((j_common_ptr)cinfo, JPOOL_IMAGE,
                                                               sizeof(RowWriter));
    writer_of(request) = writer;
    jpeg_calc_output_dimensions(cinfo);
    // The image record keeps 16-bit sides: a larger picture is refused, not wrapped.
    if (cinfo->output_width > 32767 || cinfo->output_height > 32767) return 0;
    writer->target_row = 0;
    writer->samples = 0;
    if (cinfo->out_color_space == JCS_CMYK) {
        JDIMENSION samples = (cinfo->output_width * (JDIMENSION)cinfo->output_components + 3) & ~3u;
        writer->samples = (*cinfo->mem->alloc_sarray)((j_common_ptr)cinfo, JPOOL_IMAGE, samples, 1);
    }
    jpeg_start_decompress(cinfo);

    request->width = (int32_t)cinfo->output_width;
    request->height = (int32_t)cinfo->output_height;
    request->depth = 24;
    request->source_depth = 8 * cinfo->output_components;
    return 1;
}

int32_t jpeg_check(ImageDecodeRequest* request) {
    uint32_t length = 0;
    const uint8_t* data = find_data(request, &length);
    // Not JPEG: refused before any further allocation.
    if (!data || data[0] != 0xFF || data[1] != 0xD8) {
        jpeg_finish(request);
        return 0;
    }
    if (!request->from_memory &&
        fread(read_buffer_of(request) + 2, 1, length - 2, request->stream) != length - 2) {
        jpeg_finish(request);
        return 0;
    }
    int32_t started = start_decompress(request, data, length);
    // Short of memory: what the image library keeps goes, and the start is tried again.
    if (started == -1 && image_kept_give_back()) {
        decompress_free(request);
        started = start_decompress(request, data, length);
    }
    if (started != 1) {
        jpeg_finish(request);
        return 0;
    }
    return 1;
}

// One CMYK scanline into a row of blue, green, red pixels.
void convert_cmyk_row(JDIMENSION width, const JSAMPLE* in, uint8_t* out) {
    for (JDIMENSION x = 0; x < width; x++, in += 4, out += 3) {
        unsigned k = in[3];
        out[0] = (uint8_t)(in[2] * k / 255);
        out[1] = (uint8_t)(in[1] * k / 255);
        out[2] = (uint8_t)(in[0] * k / 255);
    }
}

int32_t jpeg_decode(ImageDecodeRequest* request, uint8_t* pixels, int32_t pitch, int32_t flags) {
    DecoderState* state = state_of(request);
    RowWriter* writer = writer_of(request);
    JpegErrorHandler* errors = errors_of(request);
    if (!state || !writer || !errors) return 0;
    jpeg_decompress_struct* cinfo = &state->cinfo;
    if (setjmp(errors->back)) return 0;
    const JDIMENSION height = (JDIMENSION)request->height;
    const bool bottom_up = (flags & IMAGE_BOTTOM_UP) != 0;
    while (cinfo->output_scanline < height) {
        JDIMENSION first = cinfo->output_scanline;
        JDIMENSION wanted = height - first < ROWS_PER_READ ? height - first : ROWS_PER_READ;
        JSAMPROW rows[ROWS_PER_READ];
        for (JDIMENSION k = 0; k < wanted; k++) {
            JDIMENSION row = bottom_up ? height - 1 - (first + k) : first + k;
            rows[k] = pixels + (size_t)pitch * (size_t)row;
        }
        if (cinfo->out_color_space != JCS_CMYK) {
            // A memory source never suspends: every read brings at least one row.
            if (jpeg_read_scanlines(cinfo, rows, wanted) == 0) return 0;
            continue;
        }
        writer->target_row = rows[0];
        if (jpeg_read_scanlines(cinfo, writer->samples, 1) == 0) return 0;
        convert_cmyk_row(cinfo->output_width, writer->samples[0], writer->target_row);
    }
    jpeg_finish_decompress(cinfo);
    // The picture is whole: what it carries is published for the library to take.
    image_properties_free(image_properties_decoded);
    image_properties_decoded = properties_of(request);
    properties_of(request) = 0;
    return 1;
}

bool decoder_registered;

}  // namespace

const ImageDecoder jpeg_decoder = {jpeg_check, jpeg_decode, jpeg_finish, IMAGE_FORMAT_JPEG};

void jpeg_decoder_register(void) {
    if (decoder_registered) return;
    image_decoder_register(&jpeg_decoder);
    decoder_registered = true;
}

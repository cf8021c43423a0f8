// Pictures made and read by libjpeg directly, independent of the plug-ins under test
// but for the jumping error manager that both share.
#include "tests/support/jpeg_maker.h"

#include <stdlib.h>

#include "codecs/jpeg/jpeg_errors.h"

namespace {

JpegTables tables_of(JQUANT_TBL* const* slots, int count) {
    JpegTables tables;
    for (int i = 0; i < count && slots[i]; i++)
        tables.emplace_back(slots[i]->quantval, slots[i]->quantval + DCTSIZE2);
    return tables;
}

bool decompress_from(const Bytes& data, JpegReading* reading) {
    jpeg_decompress_struct cinfo;
    JpegErrorHandler errors;
    cinfo.err = jpeg_errors_silent(&errors);
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), (unsigned long)data.size());
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE) cinfo.out_color_space = JCS_RGB;
    reading->tables = tables_of(cinfo.quant_tbl_ptrs, NUM_QUANT_TBLS);
    jpeg_start_decompress(&cinfo);
    reading->width = (int32_t)cinfo.output_width;
    reading->height = (int32_t)cinfo.output_height;
    reading->components = cinfo.output_components;
    size_t stride = (size_t)cinfo.output_width * cinfo.output_components;
    reading->samples.assign(stride * cinfo.output_height, 0);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = reading->samples.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return errors.manager.num_warnings == 0;
}

struct MemoryOut {
    unsigned char* data = nullptr;
    unsigned long size = 0;
};

void install_memory_out(j_compress_ptr cinfo, void* context) {
    MemoryOut* out = (MemoryOut*)context;
    jpeg_mem_dest(cinfo, &out->data, &out->size);
}

}  // namespace

int jpeg_make_through(const JpegMake& make, void (*install)(j_compress_ptr cinfo, void* context),
                      void* context) {
    jpeg_compress_struct cinfo;
    JpegErrorHandler errors;
    cinfo.err = jpeg_errors_silent(&errors);
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&cinfo);
        return errors.manager.msg_code ? errors.manager.msg_code : -1;
    }
    jpeg_create_compress(&cinfo);
    install(&cinfo, context);
    cinfo.image_width = (JDIMENSION)make.width;
    cinfo.image_height = (JDIMENSION)make.height;
    cinfo.input_components = make.components;
    cinfo.in_color_space = make.input_space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, make.file_space);
    // Full resolution unless asked: uniform blocks then come back exactly.
    for (int i = 0; i < cinfo.num_components; i++) {
        bool given = (size_t)i < make.sampling.size();
        cinfo.comp_info[i].h_samp_factor = given ? make.sampling[i].h : 1;
        cinfo.comp_info[i].v_samp_factor = given ? make.sampling[i].v : 1;
    }
    jpeg_set_quality(&cinfo, make.quality, TRUE);
    if (make.progressive) jpeg_simple_progression(&cinfo);
    cinfo.arith_code = make.arithmetic ? TRUE : FALSE;
    cinfo.restart_in_rows = make.restart_rows;
    jpeg_start_compress(&cinfo, TRUE);
    size_t stride = (size_t)make.width * make.components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = (JSAMPROW)make.samples.data() + stride * cinfo.next_scanline;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return 0;
}

Bytes jpeg_make(const JpegMake& make) {
    if (make.samples.size() < (size_t)make.width * make.height * make.components) return Bytes();
    MemoryOut out;
    // On failure the destination may still hold a block it has moved away from.
    if (jpeg_make_through(make, install_memory_out, &out) != 0) return Bytes();
    Bytes bytes(out.data, out.data + out.size);
    free(out.data);
    return bytes;
}

JpegMake jpeg_uniform(int32_t width, int32_t height, J_COLOR_SPACE input_space,
                      J_COLOR_SPACE file_space, const Bytes& pixel, int32_t quality) {
    JpegMake make{width, height, (int32_t)pixel.size(), input_space, file_space, quality, {}};
    for (int64_t i = 0; i < (int64_t)width * height; i++)
        make.samples.insert(make.samples.end(), pixel.begin(), pixel.end());
    return make;
}

JpegMake jpeg_bands(int32_t width, int32_t height, const std::vector<Bytes>& bands,
                    int32_t quality) {
    JpegMake make{width, height, 3, JCS_RGB, JCS_YCbCr, quality, {}};
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++) {
            const Bytes& colour = bands[(size_t)(y / 8) % bands.size()];
            make.samples.insert(make.samples.end(), colour.begin(), colour.end());
        }
    return make;
}

bool jpeg_read(const Bytes& data, JpegReading* reading) {
    *reading = JpegReading{0, 0, 0, {}, {}};
    return decompress_from(data, reading);
}

JpegTables jpeg_quality_tables(int32_t quality) {
    jpeg_compress_struct cinfo;
    JpegErrorHandler errors;
    cinfo.err = jpeg_errors_silent(&errors);
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&cinfo);
        return JpegTables();
    }
    jpeg_create_compress(&cinfo);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, FALSE);
    JpegTables tables = tables_of(cinfo.quant_tbl_ptrs, 2);
    jpeg_destroy_compress(&cinfo);
    return tables;
}

size_t jpeg_marker_offset(const Bytes& data, uint8_t code) {
    // Walks the segments after the start-of-image marker up to the first scan.
    size_t at = 2;
    while (at + 4 <= data.size() && data[at] == 0xFF) {
        if (data[at + 1] == code) return at;
        if (data[at + 1] == 0xDA) return 0;
        at += 2 + ((size_t)data[at + 2] << 8 | data[at + 3]);
    }
    return 0;
}

Bytes jpeg_with_segments(const Bytes& data, size_t at, const std::vector<std::pair<uint8_t, Bytes>>& segments) {
    Bytes out(data.begin(), data.begin() + at);
    for (auto& [code, payload] : segments) {
        out.insert(out.end(), {0xFF, code, (uint8_t)((payload.size() + 2) >> 8), (uint8_t)(payload.size() + 2)});
        out.insert(out.end(), payload.begin(), payload.end());
    }
    out.insert(out.end(), data.begin() + at, data.end());
    return out;
}

Bytes jpeg_exif(bool motorola, uint32_t ifd, uint16_t count, uint16_t tag, uint16_t value, uint32_t next) {
    uint8_t order = motorola ? 'M' : 'I';
    Bytes out = {'E', 'x', 'i', 'f', 0, 0, order, order};
    // The short value sits in the first two bytes of its four.
    uint32_t fields[][2] = {{42, 2}, {ifd, 4}, {count, 2}, {tag, 2}, {3, 2}, {1, 4},
                            {motorola ? (uint32_t)value << 16 : value, 4}, {next, 4}};
    for (auto& [v, n] : fields)
        for (uint32_t i = 0; i < n; i++) out.push_back((uint8_t)(v >> 8 * (motorola ? n - 1 - i : i)));
    return out;
}

Bytes jpeg_icc_chunk(uint8_t number, uint8_t count, const Bytes& part) {
    Bytes out = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, number, count};
    out.insert(out.end(), part.begin(), part.end());
    return out;
}

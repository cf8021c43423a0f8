// JPEG pictures for the tests and the fuzz seeds, made by libjpeg itself in memory, and
// plain libjpeg readings of what the encoder wrote: samples and quantisation tables.
#ifndef VANTOREL_TESTS_SUPPORT_JPEG_MAKER_H
#define VANTOREL_TESTS_SUPPORT_JPEG_MAKER_H

#include <stdint.h>
#include <stdio.h>

#include <vector>

#include <jpeglib.h>

typedef std::vector<uint8_t> Bytes;
typedef std::vector<std::vector<uint16_t>> JpegTables;

struct JpegSampling {
    int32_t h;
    int32_t v;
};

struct JpegMake {
    int32_t width;
    int32_t height;
    int32_t components;         // samples per pixel
    J_COLOR_SPACE input_space;  // what the samples are
    J_COLOR_SPACE file_space;   // the frame's colour space (jpeg_set_colorspace)
    int32_t quality;
    Bytes samples;              // top row first, width * components a row
    bool progressive = false;   // libjpeg's simple progression instead of one scan
    bool arithmetic = false;    // arithmetic coding instead of Huffman
    int32_t restart_rows = 0;   // rows between restart markers; 0: none
    std::vector<JpegSampling> sampling = {};  // of the components in order; the rest 1x1
};

// The encoded bytes, each component sampled as make.sampling says (full resolution where
// it says nothing); empty when libjpeg refuses.
Bytes jpeg_make(const JpegMake& make);
// The same into the destination that install puts on cinfo: 0, or libjpeg's error code.
int jpeg_make_through(const JpegMake& make, void (*install)(j_compress_ptr cinfo, void* context),
                      void* context);
// A picture of one sample value set repeated over every pixel.
JpegMake jpeg_uniform(int32_t width, int32_t height, J_COLOR_SPACE input_space,
                      J_COLOR_SPACE file_space, const Bytes& pixel, int32_t quality = 100);
// Bands of 8 rows, band i of the colour bands[i % bands.size()]; 3 samples a pixel.
JpegMake jpeg_bands(int32_t width, int32_t height, const std::vector<Bytes>& bands,
                    int32_t quality = 100);

struct JpegReading {
    int32_t width;
    int32_t height;
    int32_t components;  // 3 (red, green, blue) for grey and colour pictures
    Bytes samples;       // top row first
    JpegTables tables;   // the quantisation tables the file defines, by slot
};

// Reads a whole JPEG with libjpeg's defaults (colour as red, green, blue); false when
// libjpeg refuses it or warns, as of a file that ends too soon.
bool jpeg_read(const Bytes& data, JpegReading* reading);
// Tables 0 and 1 as jpeg_set_quality (force_baseline FALSE) makes them for that quality.
JpegTables jpeg_quality_tables(int32_t quality);

// The offset of the first marker 0xFF, code in the data, or 0 when there is none.
size_t jpeg_marker_offset(const Bytes& data, uint8_t code);

// The data with segments (marker code, payload) put in after its first at bytes.
Bytes jpeg_with_segments(const Bytes& data, size_t at, const std::vector<std::pair<uint8_t, Bytes>>& segments);
// Exif: a TIFF header pointing at ifd; at 8 an IFD of count entries, the first tag = value.
Bytes jpeg_exif(bool motorola, uint32_t ifd, uint16_t count, uint16_t tag, uint16_t value, uint32_t next);
// An ICC_PROFILE APP2 payload: chunk number of count, then the part of the profile.
Bytes jpeg_icc_chunk(uint8_t number, uint8_t count, const Bytes& part);

#endif

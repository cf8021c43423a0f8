// Picture makers, a plain BMP reader and the damaged-file corpus for the image tests.
#include "tests/support/pictures.h"

#include <math.h>

#include <random>

namespace {

void put16(Bytes& b, uint32_t v) {
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
uint32_t get16(const Bytes& b, size_t at) { return b[at] | (uint32_t)b[at + 1] << 8; }
uint32_t get32(const Bytes& b, size_t at) { return get16(b, at) | get16(b, at + 2) << 16; }

uint32_t row_bytes(int32_t width, int32_t bits) {
    return (uint32_t)(((int64_t)width * bits + 31) / 32 * 4);
}

// One row of pixels as stored in a DIB of that many bits.
Bytes pack_row(const TestPicture& picture, int32_t y, int32_t bits) {
    Bytes row(row_bytes(picture.width, bits), 0);
    for (int32_t x = 0; x < picture.width; x++) {
        uint32_t p = picture.at(x, y);
        uint8_t b = (uint8_t)p, g = (uint8_t)(p >> 8), r = (uint8_t)(p >> 16), a = (uint8_t)(p >> 24);
        switch (bits) {
        case 1: row[x / 8] |= (uint8_t)((p & 1) << (7 - x % 8)); break;
        case 4: row[x / 2] |= (uint8_t)((p & 15) << (x % 2 ? 0 : 4)); break;
        case 8: row[x] = (uint8_t)p; break;
        case 16: {
            uint32_t v = (uint32_t)(r >> 3) << 10 | (uint32_t)(g >> 3) << 5 | (b >> 3);
            row[2 * x] = (uint8_t)v;
            row[2 * x + 1] = (uint8_t)(v >> 8);
            break;
        }
        case 24: row[3 * x] = b; row[3 * x + 1] = g; row[3 * x + 2] = r; break;
        case 32: row[4 * x] = b; row[4 * x + 1] = g; row[4 * x + 2] = r; row[4 * x + 3] = a; break;
        }
    }
    return row;
}

// Run-length rows, bottom row first: runs of one index, an end-of-line after each row
// and an end-of-bitmap at the end.
Bytes rle_rows(const TestPicture& picture, bool four_bits) {
    Bytes out;
    for (int32_t y = picture.height - 1; y >= 0; y--) {
        int32_t x = 0;
        while (x < picture.width) {
            uint32_t index = picture.at(x, y);
            int32_t run = 1;
            while (x + run < picture.width && run < 255 && picture.at(x + run, y) == index) run++;
            out.push_back((uint8_t)run);
            out.push_back((uint8_t)(four_bits ? (index & 15) * 0x11 : index));
            x += run;
        }
        out.push_back(0);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(1);
    return out;
}

void put_palette(Bytes& b, const std::vector<uint32_t>& palette) {
    for (uint32_t c : palette) put32(b, c & 0x00FFFFFF);
}

// A DIB's info header, the height as given.
void put_info_header(Bytes& b, int32_t width, int32_t height, int32_t bits, uint32_t compression,
                     uint32_t image_size, uint32_t colours) {
    put32(b, 40);
    put32(b, (uint32_t)width);
    put32(b, (uint32_t)height);
    put16(b, 1);
    put16(b, (uint32_t)bits);
    put32(b, compression);
    put32(b, image_size);
    put32(b, 0);
    put32(b, 0);
    put32(b, colours);
    put32(b, 0);
}

}  // namespace

Bytes test_bmp_file(const TestBmp& bmp) {
    const TestPicture& p = bmp.picture;
    Bytes pixels;
    if (bmp.compression == TEST_BI_RLE8 || bmp.compression == TEST_BI_RLE4) {
        pixels = rle_rows(p, bmp.compression == TEST_BI_RLE4);
    } else {
        for (int32_t i = 0; i < p.height; i++) {
            Bytes row = pack_row(p, bmp.top_down ? i : p.height - 1 - i, bmp.bit_count);
            pixels.insert(pixels.end(), row.begin(), row.end());
        }
    }
    uint32_t masks = bmp.compression == TEST_BI_BITFIELDS ? 12 : 0;
    uint32_t offset = 14 + 40 + masks + 4 * (uint32_t)bmp.palette.size();
    Bytes b;
    b.push_back('B');
    b.push_back('M');
    put32(b, offset + (uint32_t)pixels.size());
    put32(b, 0);
    put32(b, offset);
    put_info_header(b, p.width, bmp.top_down ? -p.height : p.height, bmp.bit_count,
                    bmp.compression, (uint32_t)pixels.size(), (uint32_t)bmp.palette.size());
    if (masks) {
        bool wide = bmp.bit_count == 32;
        put32(b, wide ? 0x00FF0000 : 0x7C00);
        put32(b, wide ? 0x0000FF00 : 0x03E0);
        put32(b, wide ? 0x000000FF : 0x001F);
    }
    put_palette(b, bmp.palette);
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes test_icon_file(const std::vector<TestIconEntry>& entries, uint16_t type) {
    std::vector<Bytes> images;
    for (const TestIconEntry& e : entries) {
        const TestPicture& p = e.picture;
        Bytes image;
        uint32_t colour_rows = row_bytes(p.width, e.bit_count) * (uint32_t)p.height;
        uint32_t mask_rows = row_bytes(p.width, 1) * (uint32_t)p.height;
        put_info_header(image, p.width, 2 * p.height, e.bit_count, 0, colour_rows + mask_rows,
                        e.bit_count <= 8 ? (uint32_t)e.palette.size() : 0);
        put_palette(image, e.palette);
        for (int32_t y = p.height - 1; y >= 0; y--) {
            Bytes row = pack_row(p, y, e.bit_count);
            image.insert(image.end(), row.begin(), row.end());
        }
        image.insert(image.end(), mask_rows, 0);  // every pixel opaque
        images.push_back(image);
    }
    Bytes b;
    put16(b, 0);
    put16(b, type);
    put16(b, (uint32_t)entries.size());
    uint32_t offset = 6 + 16 * (uint32_t)entries.size();
    for (size_t i = 0; i < entries.size(); i++) {
        const TestIconEntry& e = entries[i];
        b.push_back((uint8_t)(e.picture.width >= 256 ? 0 : e.picture.width));
        b.push_back((uint8_t)(e.picture.height >= 256 ? 0 : e.picture.height));
        b.push_back((uint8_t)(e.palette.size() < 256 ? e.palette.size() : 0));
        b.push_back(0);
        put16(b, 1);
        put16(b, (uint32_t)e.bit_count);
        put32(b, (uint32_t)images[i].size());
        put32(b, offset);
        offset += (uint32_t)images[i].size();
    }
    for (const Bytes& image : images) b.insert(b.end(), image.begin(), image.end());
    return b;
}

TestPicture test_picture_gradient(int32_t width, int32_t height, uint8_t alpha) {
    TestPicture p{width, height, {}};
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++) {
            uint32_t r = (uint32_t)(x * 255 / (width > 1 ? width - 1 : 1));
            uint32_t g = (uint32_t)(y * 255 / (height > 1 ? height - 1 : 1));
            uint32_t b = (uint32_t)((x * 37 + y * 91) & 255);
            p.pixels.push_back((uint32_t)alpha << 24 | r << 16 | g << 8 | b);
        }
    return p;
}

TestPicture test_picture_filled(int32_t width, int32_t height, uint32_t colour) {
    return TestPicture{width, height, std::vector<uint32_t>((size_t)width * height, colour)};
}

TestPicture test_picture_indices(int32_t width, int32_t height, uint32_t count) {
    TestPicture p{width, height, {}};
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++) p.pixels.push_back((uint32_t)(x + 3 * y) % count);
    return p;
}

std::vector<uint32_t> test_palette(uint32_t count) {
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; i < count; i++)
        palette.push_back(((i * 73) & 255) << 16 | ((i * 151 + 40) & 255) << 8 | ((255 - i * 29) & 255));
    return palette;
}

bool test_bmp_read(const Bytes& file, TestPicture* picture, int32_t* bit_count,
                   std::vector<uint32_t>* palette) {
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return false;
    uint32_t offset = get32(file, 10), header = get32(file, 14);
    int32_t width = (int32_t)get32(file, 18), height = (int32_t)get32(file, 22);
    int32_t bits = (int32_t)get16(file, 28);
    uint32_t colours = get32(file, 46);
    if (get32(file, 30) != 0 || width < 1 || height == 0) return false;
    if (colours == 0 && bits <= 8) colours = 1u << bits;
    bool top_down = height < 0;
    int32_t rows = top_down ? -height : height;
    uint32_t stride = row_bytes(width, bits);
    if (14 + header + 4 * colours > file.size() || offset + (uint64_t)stride * rows > file.size())
        return false;
    palette->clear();
    for (uint32_t i = 0; i < colours; i++) palette->push_back(get32(file, 14 + header + 4 * i));
    *bit_count = bits;
    *picture = TestPicture{width, rows, std::vector<uint32_t>((size_t)width * rows)};
    for (int32_t i = 0; i < rows; i++) {
        const uint8_t* row = file.data() + offset + (size_t)i * stride;
        int32_t y = top_down ? i : rows - 1 - i;
        for (int32_t x = 0; x < width; x++) {
            uint32_t v;
            switch (bits) {
            case 1: v = (*palette)[(row[x / 8] >> (7 - x % 8)) & 1] | 0xFF000000u; break;
            case 4: v = (*palette)[(row[x / 2] >> (x % 2 ? 0 : 4)) & 15] | 0xFF000000u; break;
            case 8: v = (*palette)[row[x]] | 0xFF000000u; break;
            case 24: v = 0xFF000000u | row[3 * x + 2] << 16 | row[3 * x + 1] << 8 | row[3 * x]; break;
            case 32: v = (uint32_t)row[4 * x + 3] << 24 | row[4 * x + 2] << 16 | row[4 * x + 1] << 8 | row[4 * x]; break;
            default: return false;
            }
            picture->pixels[(size_t)y * width + x] = v;
        }
    }
    return true;
}

double test_gamma_distance(uint32_t a, uint32_t b) {
    double sum = 0;
    for (int c = 0; c < 3; c++) {
        double ga = floor(255.0 * pow(((a >> (8 * c)) & 255) / 255.0, 1 / 1.8) + 0.5);
        double gb = floor(255.0 * pow(((b >> (8 * c)) & 255) / 255.0, 1 / 1.8) + 0.5);
        sum += (ga - gb) * (ga - gb);
    }
    return sum;
}

bool test_gamma_nearest(uint32_t pixel, uint32_t chosen, const std::vector<uint32_t>& palette) {
    double distance = test_gamma_distance(pixel, chosen);
    for (uint32_t colour : palette)
        if (test_gamma_distance(pixel, colour) < distance) return false;
    return true;
}

std::vector<Bytes> test_valid_files(void) {
    std::vector<Bytes> files;
    auto paletted = [&](int32_t w, int32_t h, int32_t bits, uint32_t colours, uint32_t compression) {
        TestBmp bmp{test_picture_indices(w, h, colours), bits, test_palette(colours)};
        bmp.compression = compression;
        files.push_back(test_bmp_file(bmp));
    };
    paletted(13, 7, 1, 2, TEST_BI_RGB);
    paletted(9, 5, 4, 16, TEST_BI_RGB);
    paletted(9, 5, 4, 5, TEST_BI_RGB);
    paletted(7, 6, 8, 256, TEST_BI_RGB);
    paletted(5, 3, 8, 3, TEST_BI_RGB);
    paletted(9, 6, 8, 10, TEST_BI_RLE8);
    paletted(11, 4, 4, 6, TEST_BI_RLE4);
    files.push_back(test_bmp_file(TestBmp{test_picture_gradient(6, 4), 16, {}}));
    files.push_back(test_bmp_file(TestBmp{test_picture_gradient(7, 5), 24, {}}));
    files.push_back(test_bmp_file(TestBmp{test_picture_gradient(5, 4, 90), 32, {}}));
    TestBmp fields{test_picture_gradient(4, 3), 32, {}};
    fields.compression = TEST_BI_BITFIELDS;
    files.push_back(test_bmp_file(fields));
    TestBmp top_down{test_picture_gradient(6, 5), 24, {}};
    top_down.top_down = true;
    files.push_back(test_bmp_file(top_down));

    files.push_back(test_icon_file({
        {test_picture_indices(8, 8, 16), 4, test_palette(16)},
        {test_picture_gradient(8, 8), 32, {}},
        {test_picture_gradient(16, 16), 32, {}},
    }));
    files.push_back(test_icon_file({{test_picture_indices(16, 16, 2), 1, test_palette(2)}}));
    files.push_back(test_icon_file({{test_picture_indices(8, 8, 40), 8, test_palette(40)}}));
    return files;
}

std::vector<Bytes> test_hostile_corpus(void) {
    std::vector<Bytes> corpus;
    std::mt19937 random(20240531u);
    for (const Bytes& valid : test_valid_files()) {
        // Every cut of the headers, then every few bytes through the pixels.
        for (size_t length = 0; length < valid.size(); length += length < 160 ? 1 : 7)
            corpus.push_back(Bytes(valid.begin(), valid.begin() + (long)length));
        // Each header byte set to values that make sizes, counts and offsets hostile.
        size_t header = valid.size() < 160 ? valid.size() : 160;
        for (size_t at = 0; at < header; at++)
            for (uint8_t value : {(uint8_t)0x00, (uint8_t)0xFF, (uint8_t)0x80, (uint8_t)0x7F,
                                  (uint8_t)(valid[at] ^ 0x40)}) {
                if (value == valid[at]) continue;
                Bytes damaged = valid;
                damaged[at] = value;
                corpus.push_back(damaged);
            }
        // A few bytes anywhere, and the file cut as well now and then.
        for (int n = 0; n < 150; n++) {
            Bytes damaged = valid;
            int flips = 1 + (int)(random() % 4);
            for (int f = 0; f < flips; f++) damaged[random() % damaged.size()] = (uint8_t)random();
            if (n % 3 == 0) damaged.resize(random() % damaged.size());
            corpus.push_back(damaged);
        }
    }
    return corpus;
}

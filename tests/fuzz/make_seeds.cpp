// Writes the seed corpora of every fuzz target: FOLDER/<target>/seed-NN.
//   fuzz_seeds FOLDER             the seeds the tests make (fuzz_seeds())
//   fuzz_seeds FOLDER PICTURES    the files of PICTURES each target reads, told apart by
//                                 their first bytes: JPEG files for jpeg_decoder, BMP files
//                                 for bmp, icons for icon, and a binary PPM cut to the
//                                 quantiser's pixel limit for quantiser.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/entries.h"
#include "tests/fuzz/seeds.h"

namespace {

bool write_seed(const std::filesystem::path& folder, int n, const Bytes& seed) {
    char name[32];
    snprintf(name, sizeof name, "seed-%02d", n);
    std::ofstream out(folder / name, std::ios::binary);
    out.write((const char*)seed.data(), (std::streamsize)seed.size());
    if (out) return true;
    fprintf(stderr, "fuzz_seeds: cannot write %s\n", (folder / name).c_str());
    return false;
}

// One header field of a binary PPM: whitespace and comments skipped; -1 when malformed.
long ppm_field(const Bytes& file, size_t* at) {
    while (*at < file.size()) {
        if (file[*at] == '#')
            while (*at < file.size() && file[*at] != '\n') ++*at;
        else if (file[*at] == ' ' || file[*at] == '\t' || file[*at] == '\r' || file[*at] == '\n')
            ++*at;
        else
            break;
    }
    long value = -1;
    while (*at < file.size() && file[*at] >= '0' && file[*at] <= '9' && value < 65536)
        value = (value < 0 ? 0 : value * 10) + (file[(*at)++] - '0');
    return value;
}

// Quantiser inputs from a binary PPM of 8-bit samples: a centred cut of at most the
// quantiser's pixel limit, each depth once, as 24- and 32-bit pixels, with and without
// dithering. Empty when the file is not such a PPM.
std::vector<Bytes> quantiser_inputs(const Bytes& file) {
    std::vector<Bytes> inputs;
    size_t at = 2;
    long width = ppm_field(file, &at), height = ppm_field(file, &at), top = ppm_field(file, &at);
    if (width < 1 || height < 1 || top != 255 || at >= file.size()) return inputs;
    size_t start = at + 1;
    if ((file.size() - start) / 3 / (size_t)width < (size_t)height) return inputs;
    int32_t side = 1;
    while ((side + 1) * (side + 1) <= FUZZ_QUANTISER_MAX_PIXELS) side++;
    int32_t cut_width = (int32_t)std::min<long>(width, side);
    int32_t cut_height = (int32_t)std::min<long>(height, FUZZ_QUANTISER_MAX_PIXELS / cut_width);
    long left = (width - cut_width) / 2, first = (height - cut_height) / 2;
    const FuzzQuantiserInput kinds[] = {
        {cut_width, cut_height, 8, FUZZ_QUANTISER_DITHER, 0},
        {cut_width, cut_height, 4, FUZZ_QUANTISER_32_BITS, 0},
        {cut_width, cut_height, 1, FUZZ_QUANTISER_DITHER | FUZZ_QUANTISER_32_BITS, 3},
    };
    for (const FuzzQuantiserInput& kind : kinds) {
        Bytes input(FUZZ_QUANTISER_HEADER);
        fuzz_quantiser_header(&kind, input.data());
        int32_t bytes = (kind.flags & FUZZ_QUANTISER_32_BITS) ? 4 : 3;
        for (int32_t y = 0; y < cut_height; y++) {
            for (int32_t x = 0; x < cut_width; x++) {
                const uint8_t* rgb = &file[start + ((size_t)(first + y) * width + left + x) * 3];
                uint8_t pixel[4] = {rgb[2], rgb[1], rgb[0], 0xFF};  // stored blue first
                input.insert(input.end(), pixel, pixel + bytes);
            }
            input.insert(input.end(), (size_t)kind.pitch_padding, 0);
        }
        inputs.push_back(input);
    }
    return inputs;
}

// The target a file of these first bytes seeds; null for none.
const char* target_of(const Bytes& file) {
    if (file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF)
        return "jpeg_decoder";
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M') return "bmp";
    if (file.size() >= 4 && file[0] == 0 && file[1] == 0 && file[2] == 1 && file[3] == 0)
        return "icon";
    if (file.size() >= 2 && file[0] == 'P' && file[1] == '6') return "quantiser";
    return 0;
}

int write_made(const std::filesystem::path& root) {
    for (const FuzzEntry& entry : fuzz_entries) {
        std::filesystem::path folder = root / entry.name;
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        int n = 0;
        for (const Bytes& seed : fuzz_seeds(entry.name))
            if (!write_seed(folder, n++, seed)) return 1;
        printf("fuzz_seeds: %d seeds for %s\n", n, entry.name);
    }
    return 0;
}

int write_files(const std::filesystem::path& root, const std::filesystem::path& pictures) {
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(pictures, error))
        if (item.is_regular_file()) files.push_back(item.path());
    if (error) {
        fprintf(stderr, "fuzz_seeds: cannot list %s\n", pictures.c_str());
        return 1;
    }
    std::sort(files.begin(), files.end());
    for (const FuzzEntry& entry : fuzz_entries) {
        std::filesystem::path folder = root / entry.name;
        std::filesystem::create_directories(folder, error);
        int n = 0;
        for (const std::filesystem::path& path : files) {
            std::ifstream in(path, std::ios::binary);
            Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const char* target = target_of(file);
            if (!target || strcmp(target, entry.name) != 0) continue;
            std::vector<Bytes> seeds;
            if (strcmp(target, "quantiser") == 0)
                seeds = quantiser_inputs(file);
            else
                seeds.push_back(file);
            for (const Bytes& seed : seeds)
                if (!write_seed(folder, n++, seed)) return 1;
        }
        printf("fuzz_seeds: %d seeds for %s from %s\n", n, entry.name, pictures.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) return write_made(argv[1]);
    if (argc == 3) return write_files(argv[1], argv[2]);
    fprintf(stderr, "usage: fuzz_seeds FOLDER [PICTURES]\n");
    return 2;
}

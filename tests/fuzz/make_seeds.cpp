// Writes the seed corpora of every fuzz target: FOLDER/<target>/seed-NN.
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/fuzz/entries.h"
#include "tests/fuzz/seeds.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    for (const FuzzEntry& entry : fuzz_entries) {
        std::filesystem::path folder = std::filesystem::path(argv[1]) / entry.name;
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        int n = 0;
        for (const Bytes& seed : fuzz_seeds(entry.name)) {
            char name[32];
            snprintf(name, sizeof name, "seed-%02d", n++);
            std::ofstream out(folder / name, std::ios::binary);
            out.write((const char*)seed.data(), (std::streamsize)seed.size());
            if (!out) {
                fprintf(stderr, "fuzz_seeds: cannot write %s\n", (folder / name).c_str());
                return 1;
            }
        }
        printf("fuzz_seeds: %d seeds for %s\n", n, entry.name);
    }
    return 0;
}

// The fuzz entry points in the test builds: every regression file found by fuzzing goes
// through the entry point of its target again, and the seeds the fuzzing starts from are
// all taken. Each input is copied to a block of its own exact size, so that a read past
// it is reported by the sanitizers of the host build.
#include <gtest/gtest.h>

#include <string.h>

#include "tests/fuzz/entries.h"
#include "tests/fuzz/regressions.h"
#include "tests/fuzz/seeds.h"

namespace {

const FuzzEntry* entry_named(const char* name) {
    for (const FuzzEntry& entry : fuzz_entries)
        if (strcmp(entry.name, name) == 0) return &entry;
    return nullptr;
}

int32_t run(const FuzzEntry& entry, const uint8_t* data, size_t size) {
    Bytes copy(data, data + size);
    return entry.run(copy.data(), copy.size());
}

}  // namespace

TEST(FuzzReplay, RegressionFilesPassTheirEntryPoints) {
    for (int32_t i = 0; i < fuzz_regression_count; i++) {
        const FuzzRegression& file = fuzz_regressions[i];
        const FuzzEntry* entry = entry_named(file.target);
        ASSERT_NE(entry, nullptr) << "no target named " << file.target << " for " << file.name;
        int32_t taken = run(*entry, file.data, file.size);
        RecordProperty(std::string(file.target) + "/" + file.name, taken);
    }
    EXPECT_EQ(fuzz_regressions[fuzz_regression_count].target, nullptr);
}

TEST(FuzzReplay, SeedsAreAllTaken) {
    for (const FuzzEntry& entry : fuzz_entries) {
        std::vector<Bytes> seeds = fuzz_seeds(entry.name);
        EXPECT_GE(seeds.size(), 3u) << entry.name;
        for (size_t i = 0; i < seeds.size(); i++)
            EXPECT_EQ(run(entry, seeds[i].data(), seeds[i].size()), 1) << entry.name << " seed " << i;
    }
}

TEST(FuzzReplay, EmptyAndForeignInputsAreRefused) {
    Bytes jpeg = fuzz_seeds("jpeg_decoder")[0];
    Bytes bmp = fuzz_seeds("bmp")[0];
    Bytes icon = fuzz_seeds("icon")[0];
    struct Case {
        const char* target;
        Bytes input;
    } cases[] = {
        {"jpeg_decoder", {}}, {"jpeg_decoder", {0xFF}}, {"jpeg_decoder", bmp}, {"jpeg_decoder", icon},
        {"bmp", {}}, {"bmp", jpeg}, {"bmp", icon},
        {"icon", {}}, {"icon", jpeg}, {"icon", bmp},
        {"quantiser", {}}, {"quantiser", Bytes(7, 0)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run(*entry_named(c.target), c.input.data(), c.input.size()), 0)
            << c.target << " took " << c.input.size() << " bytes";
}

// A quantiser input asking for hostile sizes: the sizes must be refused, never used.
TEST(FuzzReplay, QuantiserHostileSizesAreRefused) {
    const int32_t sizes[][4] = {
        {0, 5, 24, 8}, {5, -1, 32, 4}, {5, 5, 16, 8}, {5, 5, 24, 2},
        {65536, 65536, 32, 8}, {46341, 46341, 24, 1}, {INT32_MIN, INT32_MIN, 24, 8},
    };
    for (const auto& s : sizes) {
        Bytes input(FUZZ_QUANTISER_HEADER, 0);
        input[7] = 1;
        for (int32_t v : s)
            for (int b = 0; b < 4; b++) input.push_back((uint8_t)((uint32_t)v >> (8 * b)));
        EXPECT_EQ(run(*entry_named("quantiser"), input.data(), input.size()), 0) << s[0] << "x" << s[1];
    }
}

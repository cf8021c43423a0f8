// The inputs fuzzing found faults with, kept under tests/fuzz/regressions/<target>/ and
// compiled into the replay test by tests/fuzz/embed.cmake.
#ifndef VANTOREL_TESTS_FUZZ_REGRESSIONS_H
#define VANTOREL_TESTS_FUZZ_REGRESSIONS_H

#include <stdint.h>

struct FuzzRegression {
    const char* target;  // the entry point's name
    const char* name;    // the file's name
    const uint8_t* data;
    uint32_t size;
};

// fuzz_regression_count records, then one of nulls.
extern const FuzzRegression fuzz_regressions[];
extern const int32_t fuzz_regression_count;

#endif

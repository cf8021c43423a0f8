// Seed inputs of the fuzz targets: small valid files of every kind each reader takes,
// made the way the tests make them (the picture makers of tests/support, libjpeg for
// JPEG files), so that fuzzing starts from inputs that reach deep.
#ifndef VANTOREL_TESTS_FUZZ_SEEDS_H
#define VANTOREL_TESTS_FUZZ_SEEDS_H

#include "tests/support/pictures.h"

// The seeds of the target of that name (see fuzz_entries); empty for an unknown name.
std::vector<Bytes> fuzz_seeds(const char* target);

#endif

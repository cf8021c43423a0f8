// How long the tests wait for programs, windows and pipes: ms stretched by
// VANTOREL_TEST_WAIT_SCALE (a whole number, default 1), since an emulated machine runs
// every program several times slower. The project's virtual machine sets it.
#ifndef VANTOREL_TESTS_SUPPORT_WAIT_SCALE_H
#define VANTOREL_TESTS_SUPPORT_WAIT_SCALE_H

#include <stdlib.h>

inline unsigned long test_wait_ms(unsigned long ms) {
    static const unsigned long scale = [] {
        const char* text = getenv("VANTOREL_TEST_WAIT_SCALE");
        int value = text ? atoi(text) : 1;
        return (unsigned long)(value >= 1 && value <= 100 ? value : 1);
    }();
    return ms * scale;
}

#endif

// Heap faults through the host heap's refusal hook.
#include "tests/support/heap_faults.h"

#include <gtest/gtest.h>

#include "runtime/platform.h"

#ifndef _WIN32
static int32_t asked;
static int32_t fail_first;
static int32_t fail_last;

static bool refuses(HANDLE, SIZE_T) {
    asked++;
    return asked >= fail_first && asked <= fail_last;
}

void heap_faults_arm(int32_t first, int32_t count) {
    asked = 0;
    fail_first = first;
    fail_last = count > INT32_MAX - first ? INT32_MAX : first + count - 1;
    host_heap_refuses = refuses;
}

int32_t heap_faults_disarm(void) {
    host_heap_refuses = 0;
    return asked;
}

void expect_copy_outcome(int32_t result, int32_t asked, int32_t k, int32_t copied, int32_t wanted) {
    if (asked < k) {
        EXPECT_EQ(result, 1) << "no failure met, k = " << k;
    }
    if (result) {
        EXPECT_EQ(copied, wanted) << "reported whole, k = " << k;
    } else {
        EXPECT_LT(copied, wanted) << "reported failed, k = " << k;
    }
}
#endif

// Heap faults through the host heap's refusal hook or, on Windows, the hooked heap calls,
// and the numbering of allocations that every fault hook shares.
#include "tests/support/heap_faults.h"

#include <gtest/gtest.h>

#include "runtime/platform.h"
#ifdef _WIN32
#include "tests/support/win_heap_hooks.h"
#endif

void allocation_faults_start(AllocationFaults* faults, int32_t first, int32_t count) {
    faults->asked = 0;
    faults->first = first;
    faults->last = count > INT32_MAX - first ? INT32_MAX : first + count - 1;
}

bool allocation_faults_refuse(AllocationFaults* faults) {
    faults->asked++;
    return faults->asked >= faults->first && faults->asked <= faults->last;
}

static AllocationFaults heap_faults;

#ifdef _WIN32
static bool armed;

static bool refuses(void) {
    return armed && allocation_faults_refuse(&heap_faults);
}

void heap_faults_arm(int32_t first, int32_t count) {
    EXPECT_TRUE(win_heap_hooks_install(refuses)) << "the heap calls cannot be hooked";
    allocation_faults_start(&heap_faults, first, count);
    armed = true;
}

int32_t heap_faults_disarm(void) {
    armed = false;
    return heap_faults.asked;
}
#else
static bool refuses(HANDLE, SIZE_T) {
    return allocation_faults_refuse(&heap_faults);
}

void heap_faults_arm(int32_t first, int32_t count) {
    allocation_faults_start(&heap_faults, first, count);
    host_heap_refuses = refuses;
}

int32_t heap_faults_disarm(void) {
    host_heap_refuses = 0;
    return heap_faults.asked;
}
#endif

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

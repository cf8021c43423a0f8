// Heap watching for tests: live blocks of the runtime's private heaps in both builds, so
// that tests can check that everything taken was given back; the numbering of failing
// allocations that the fault hooks share; and faults of the runtime's heap allocations.
#ifndef VANTOREL_TESTS_SUPPORT_HEAP_FAULTS_H
#define VANTOREL_TESTS_SUPPORT_HEAP_FAULTS_H

#include <stdint.h>

// Blocks live in the object, string and memory heaps together.
int32_t heap_live_blocks(void);

// Allocations numbered from 1, of which those numbered first to first + count - 1 fail;
// shared by the heap hooks here, the C heap's (tests/support/c_heap_faults.h) and the
// Windows heap calls' (tests/support/win_heap_hooks.h).
struct AllocationFaults {
    int32_t asked;
    int32_t first;
    int32_t last;
};
void allocation_faults_start(AllocationFaults* faults, int32_t first, int32_t count);
// Numbers one more allocation; true when it is one to fail.
bool allocation_faults_refuse(AllocationFaults* faults);

// Calls attempt(k) for k = 1, 2, ...; attempt arms the k-th allocation to fail around
// the operation under test and returns how many allocations it asked for. The sweep ends
// with the first attempt whose operation asked for fewer than k allocations, that is,
// the first one that failed nothing.
template <typename Attempt>
void sweep_failing_allocations(Attempt attempt) {
    for (int32_t k = 1; k < 100000; k++)
        if (attempt(k) < k) return;
}

// Numbers the runtime's heap allocations from now on (from 1) and fails those numbered
// first to first + count - 1: through the host heap's refusal hook, or on Windows through
// the program's hooked heap calls (tests/support/win_heap_hooks.h).
void heap_faults_arm(int32_t first, int32_t count);
// Stops failing; returns how many allocations were asked for since heap_faults_arm.
int32_t heap_faults_disarm(void);

// Checks the outcome of a copy made with the k-th allocation failing, of which `asked`
// were asked for: with no failure met it succeeds; reported whole it holds all `wanted`
// elements, reported failed fewer. (A pool that cannot have a full chunk falls back on a
// one-block chunk, so a failed allocation need not fail the copy.)
void expect_copy_outcome(int32_t result, int32_t asked, int32_t k, int32_t copied, int32_t wanted);

#endif

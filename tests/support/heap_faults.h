// Allocation faults and live-block counts for the private heaps of the host build, so
// that tests can make chosen allocations fail and check that every failure path gives
// back what it took. Not available in the Windows build.
#ifndef VANTOREL_TESTS_SUPPORT_HEAP_FAULTS_H
#define VANTOREL_TESTS_SUPPORT_HEAP_FAULTS_H

#ifndef _WIN32
#include <stdint.h>

// Numbers the heap allocations from now on (from 1) and fails those numbered first to
// first + count - 1.
void heap_faults_arm(int32_t first, int32_t count);
// Stops failing; returns how many allocations were asked for since heap_faults_arm.
int32_t heap_faults_disarm(void);
// Blocks live in the object, string and memory heaps together.
int32_t heap_live_blocks(void);

// Calls attempt(k) for k = 1, 2, ...; attempt arms the k-th allocation to fail around
// the operation under test and returns heap_faults_disarm(). The sweep ends with the
// first attempt whose operation asked for fewer than k allocations, that is, the first
// one that failed nothing.
template <typename Attempt>
void sweep_failing_allocations(Attempt attempt) {
    for (int32_t k = 1; k < 100000; k++)
        if (attempt(k) < k) return;
}
#endif

#endif

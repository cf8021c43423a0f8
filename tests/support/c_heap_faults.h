// C heap faults for test binaries linked with the linker's --wrap for malloc, calloc,
// realloc and free (heap_exhaustion_test in tests/CMakeLists.txt): the calls made by the
// binary's own objects (product code, libjpeg, and on the host the runtime's private
// heaps, which take their blocks from malloc) are numbered from 1 and chosen ones fail.
// Calls made inside the C library (and on the host the C++ runtime) are not seen.
#ifndef VANTOREL_TESTS_SUPPORT_C_HEAP_FAULTS_H
#define VANTOREL_TESTS_SUPPORT_C_HEAP_FAULTS_H

#include <stdint.h>

// Numbers the allocations from now on and fails those numbered first to first + count - 1.
void c_heap_faults_arm(int32_t first, int32_t count);
// Stops failing; returns how many allocations were asked for since c_heap_faults_arm.
int32_t c_heap_faults_disarm(void);
// Blocks taken and not yet given back through the wrapped calls, armed or not.
int32_t c_heap_live_blocks(void);
// Numbers one allocation of another heap among the C heap's, so that both fail by one
// numbering; true when it is one to fail.
bool c_heap_faults_refuse(void);

#endif

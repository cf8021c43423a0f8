// The wrapped C heap: each call goes on to the real one unless it is the one to fail.
#include "tests/support/c_heap_faults.h"

#include <stddef.h>

#include "tests/support/heap_faults.h"

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
void __real_free(void* block);
}

static bool armed;
static AllocationFaults faults;
static int32_t live;

bool c_heap_faults_refuse(void) {
    return armed && allocation_faults_refuse(&faults);
}

extern "C" void* __wrap_malloc(size_t size) {
    if (c_heap_faults_refuse()) return 0;
    void* block = __real_malloc(size);
    if (block) live++;
    return block;
}

extern "C" void* __wrap_calloc(size_t count, size_t size) {
    if (c_heap_faults_refuse()) return 0;
    void* block = __real_calloc(count, size);
    if (block) live++;
    return block;
}

// A refused realloc leaves the block as it was, as a real failure does.
extern "C" void* __wrap_realloc(void* block, size_t size) {
    if (c_heap_faults_refuse()) return 0;
    void* moved = __real_realloc(block, size);
    if (!block && moved) live++;
    if (block && size == 0 && !moved) live--;
    return moved;
}

extern "C" void __wrap_free(void* block) {
    if (block) live--;
    __real_free(block);
}

void c_heap_faults_arm(int32_t first, int32_t count) {
    allocation_faults_start(&faults, first, count);
    armed = true;
}

int32_t c_heap_faults_disarm(void) {
    armed = false;
    return faults.asked;
}

int32_t c_heap_live_blocks(void) {
    return live;
}

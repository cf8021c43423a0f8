// Heap faults through the host heap's refusal hook, and live blocks counted along each
// heap's chain of blocks.
#include "tests/support/heap_faults.h"

#ifndef _WIN32
#include "runtime/memory.h"
#include "runtime/strings.h"

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

static int32_t live_blocks(HANDLE heap) {
    int32_t n = 0;
    HostHeap* host = (HostHeap*)heap;
    pthread_mutex_lock(&host->lock);
    for (HostHeapBlock* block = host->head; block; block = block->next) n++;
    pthread_mutex_unlock(&host->lock);
    return n;
}

int32_t heap_live_blocks(void) {
    return live_blocks(object_heap) + live_blocks(string_heap) + live_blocks(memory_heap);
}
#endif

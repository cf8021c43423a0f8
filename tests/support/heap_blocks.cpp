// Live blocks counted by walking each heap: HeapWalk on Windows, the host heap's chain
// of blocks on Linux. Apart from the fault hooks so that programs without GoogleTest
// (the fuzz targets) can watch the heaps too.
#include "tests/support/heap_faults.h"

#include "runtime/memory.h"
#include "runtime/strings.h"

#ifdef _WIN32
static int32_t live_blocks(HANDLE heap) {
    int32_t n = 0;
    PROCESS_HEAP_ENTRY entry;
    entry.lpData = 0;
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) n++;
    HeapUnlock(heap);
    return n;
}
#else
static int32_t live_blocks(HANDLE heap) {
    int32_t n = 0;
    HostHeap* host = (HostHeap*)heap;
    pthread_mutex_lock(&host->lock);
    for (HostHeapBlock* block = host->head; block; block = block->next) n++;
    pthread_mutex_unlock(&host->lock);
    return n;
}
#endif

int32_t heap_live_blocks(void) {
    return live_blocks(object_heap) + live_blocks(string_heap) + live_blocks(memory_heap);
}

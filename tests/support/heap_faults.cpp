// Live blocks counted by walking each heap (HeapWalk on Windows, the host heap's chain of
// blocks on Linux), and heap faults through the host heap's refusal hook.
#include "tests/support/heap_faults.h"

#include <gtest/gtest.h>

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

int32_t heap_live_blocks(void) {
    return live_blocks(object_heap) + live_blocks(string_heap) + live_blocks(memory_heap);
}

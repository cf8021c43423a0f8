// General memory blocks on memory_heap, and the heap handles themselves.
#include "runtime/memory.h"

HANDLE object_heap;
HANDLE memory_heap;

void (*memory_exhausted_hook)(void);

void memory_exhausted(void) {
    if (memory_exhausted_hook) memory_exhausted_hook();
    ExitProcess(0);
}

void* memory_alloc(int32_t size, uint32_t flags) {
    if (size <= 0) return 0;
    return HeapAlloc(memory_heap, (flags & MEMORY_NO_CLEAR) ? 0 : HEAP_ZERO_MEMORY, (SIZE_T)size);
}

int32_t memory_free(void* block) {
    return HeapFree(memory_heap, 0, block) ? 1 : 0;
}

void* memory_realloc(void* block, int32_t size) {
    if (size <= 0) return 0;
    if (!block) return memory_alloc(size, 0);
    return HeapReAlloc(memory_heap, HEAP_ZERO_MEMORY, block, (SIZE_T)size);
}

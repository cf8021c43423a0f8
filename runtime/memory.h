// Private heaps of the runtime and the general memory block operations.
// object_heap holds every runtime object (registries, records, lists, maps, pools);
// memory_heap serves memory_alloc and its companions.
#ifndef VANTOREL_RUNTIME_MEMORY_H
#define VANTOREL_RUNTIME_MEMORY_H

#include <stdint.h>
#include "runtime/platform.h"

extern HANDLE object_heap;
extern HANDLE memory_heap;

// flags bit 0 set: the block is not cleared; clear: the block is zero-filled.
enum { MEMORY_NO_CLEAR = 1 };

// A block of memory_heap, or null; a size of 0 or less allocates nothing.
void* memory_alloc(int32_t size, uint32_t flags);
// Returns the heap's success flag.
int32_t memory_free(void* block);
// A null block allocates zero-filled; bytes past the old size are zero-filled; a size of
// 0 or less, or a failure, returns null and leaves the block as it was.
void* memory_realloc(void* block, int32_t size);

// Called when the runtime cannot go on for want of memory (the temporary string buffer
// cannot grow). Calls memory_exhausted_hook, which start-up points at the orderly
// shutdown; without a hook, or should the hook return, the process ends with exit code 0.
[[noreturn]] void memory_exhausted(void);
extern void (*memory_exhausted_hook)(void);

#endif

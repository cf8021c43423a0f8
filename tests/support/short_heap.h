// Windows tests only: object_heap swapped for a small fixed heap that is full but for
// about `spare` bytes, so that an allocation larger than that fails. The real heap comes
// back when the object goes; nothing allocated meanwhile may outlive it.
#ifndef VANTOREL_TESTS_SHORT_HEAP_H
#define VANTOREL_TESTS_SHORT_HEAP_H

#include <windows.h>

#include "runtime/memory.h"

class ShortObjectHeap {
  public:
    explicit ShortObjectHeap(SIZE_T spare) : saved_(object_heap) {
        heap_ = HeapCreate(0, 0, 64 * 1024);
        void* kept = HeapAlloc(heap_, 0, spare);
        for (SIZE_T size = 4096; size >= 8; size /= 2)
            while (HeapAlloc(heap_, 0, size)) {
            }
        HeapFree(heap_, 0, kept);
        object_heap = heap_;
    }
    ~ShortObjectHeap() {
        object_heap = saved_;
        HeapDestroy(heap_);
    }
    ShortObjectHeap(const ShortObjectHeap&) = delete;
    ShortObjectHeap& operator=(const ShortObjectHeap&) = delete;

    // Whether a block of size could still be had.
    bool fits(SIZE_T size) {
        void* block = HeapAlloc(heap_, 0, size);
        if (block) HeapFree(heap_, 0, block);
        return block != 0;
    }

  private:
    HANDLE saved_;
    HANDLE heap_;
};

#endif

// One libFuzzer target: FUZZ_ENTRY names the entry point it drives. The runtime's heaps
// and the string engine are made once, as start-up makes them.
#include <stddef.h>
#include <stdint.h>

#include "runtime/memory.h"
#include "runtime/strings.h"
#include "tests/fuzz/entries.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    object_heap = HeapCreate(0, 4096, 0);
    memory_heap = HeapCreate(0, 4096, 0);
    str_engine_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FUZZ_ENTRY(data, size);
    return 0;
}

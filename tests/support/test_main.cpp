// The main of every test binary: the runtime's heaps, the string engine and the container
// libraries are up, as the program has them after start-up, while the tests run.
#include <gtest/gtest.h>

#include "runtime/containers.h"
#include "runtime/memory.h"
#include "runtime/strings.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    object_heap = HeapCreate(0, 4096, 0);
    memory_heap = HeapCreate(0, 4096, 0);
    str_engine_init();
    list_library_init();
    map_library_init();
    int result = RUN_ALL_TESTS();
    str_engine_free();
    HeapDestroy(memory_heap);
    HeapDestroy(object_heap);
    return result;
}

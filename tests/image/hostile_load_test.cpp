// Damaged BMP and icon files through the whole loader under the system's GDI: each is
// loaded or refused, never crashes, and a refusal leaves nothing behind.
#include <gtest/gtest.h>

#include "runtime/memory.h"
#include "tests/support/image_helpers.h"

namespace {

// Blocks in use on a heap.
int busy_blocks(HANDLE heap) {
    int count = 0;
    PROCESS_HEAP_ENTRY entry;
    entry.lpData = 0;
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) count++;
    HeapUnlock(heap);
    return count;
}

}  // namespace

TEST(HostileLoad, EveryCaseLoadsOrIsRefusedCleanly) {
    std::vector<Bytes> corpus = test_hostile_corpus();
    ASSERT_GT(corpus.size(), 5000u);
    // Warm up: the number's record and the system's first GDI objects.
    ASSERT_NE(test_load(0, test_valid_files()[0]), 0);
    image_free(0);
    int memory_before = busy_blocks(memory_heap), objects_before = busy_blocks(object_heap);
    int loaded = 0, refused = 0;
    for (size_t i = 0; i < corpus.size(); i++) {
        const Bytes& file = corpus[i];
        // Every case alternates between a table number and an automatic one.
        int32_t number = i % 2 ? -1 : 0;
        int32_t result = image_load_memory(number, file.empty() ? nullptr : file.data(), (uint32_t)file.size());
        if (!result) {
            refused++;
            ASSERT_EQ(test_image(0), nullptr) << i;
            continue;
        }
        loaded++;
        int32_t held = number == -1 ? result : 0;
        ImageObject* image = test_image(held);
        ASSERT_NE(image, nullptr) << i;
        ASSERT_GE(image->width, 1) << i;
        ASSERT_GE(image->height, 1) << i;
        ASSERT_EQ(image_free(held), 1) << i;
    }
    EXPECT_GT(loaded, 1000);
    EXPECT_GT(refused, 1000);
    EXPECT_EQ(image_registry->automatic_chain, nullptr);
    EXPECT_EQ(busy_blocks(memory_heap), memory_before);
    EXPECT_EQ(busy_blocks(object_heap), objects_before);
}

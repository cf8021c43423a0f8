// memory_alloc, memory_realloc and memory_free on memory_heap.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include "runtime/memory.h"

static bool all_bytes(const void* block, size_t size, unsigned char value) {
    const unsigned char* p = (const unsigned char*)block;
    for (size_t i = 0; i < size; i++)
        if (p[i] != value) return false;
    return true;
}

TEST(MemoryAlloc, RefusesSizesBelowOne) {
    for (int32_t size : {0, -4, INT32_MIN}) EXPECT_EQ(memory_alloc(size, 0), nullptr) << size;
    EXPECT_EQ(memory_alloc(0, MEMORY_NO_CLEAR), nullptr);
}

TEST(MemoryAlloc, ClearsUnlessAskedNotTo) {
    // Dirt given back stays in an uncleared block (ASan fills every new one), not a cleared one.
    void* dirty = memory_alloc(16, MEMORY_NO_CLEAR);
    ASSERT_NE(dirty, nullptr);
    memset(dirty, 0xAB, 16);
    memory_free(dirty);

    void* uncleared = memory_alloc(16, MEMORY_NO_CLEAR);
    ASSERT_NE(uncleared, nullptr);
    EXPECT_FALSE(all_bytes(uncleared, 16, 0));
    memset(uncleared, 0xAB, 16);
    memory_free(uncleared);

    void* cleared = memory_alloc(16, 0);
    ASSERT_NE(cleared, nullptr);
    EXPECT_TRUE(all_bytes(cleared, 16, 0));
    EXPECT_EQ(HeapSize(memory_heap, 0, cleared), 16u);
    EXPECT_EQ(memory_free(cleared), 1);
}

TEST(MemoryAlloc, ImpossibleSizeReturnsNull) {
    EXPECT_EQ(memory_alloc(INT32_MAX, 0), nullptr);
}

TEST(MemoryRealloc, NullBlockAllocatesCleared) {
    unsigned char* block = (unsigned char*)memory_realloc(nullptr, 8);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(all_bytes(block, 8, 0));
    memory_free(block);
}

TEST(MemoryRealloc, GrowingKeepsContentsAndClearsTheRest) {
    unsigned char* block = (unsigned char*)memory_alloc(8, MEMORY_NO_CLEAR);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 8; i++) block[i] = (unsigned char)(i + 1);
    unsigned char* grown = (unsigned char*)memory_realloc(block, 32);
    ASSERT_NE(grown, nullptr);
    for (int i = 0; i < 8; i++) EXPECT_EQ(grown[i], i + 1);
    EXPECT_TRUE(all_bytes(grown + 8, 24, 0));
    memory_free(grown);
}

TEST(MemoryRealloc, ShrinkingKeepsThePrefix) {
    unsigned char* block = (unsigned char*)memory_alloc(64, MEMORY_NO_CLEAR);
    ASSERT_NE(block, nullptr);
    memset(block, 0x11, 64);
    unsigned char* shrunk = (unsigned char*)memory_realloc(block, 4);
    ASSERT_NE(shrunk, nullptr);
    EXPECT_TRUE(all_bytes(shrunk, 4, 0x11));
    memory_free(shrunk);
}

TEST(MemoryRealloc, SizeBelowOneOrImpossibleLeavesTheBlockValid) {
    unsigned char* block = (unsigned char*)memory_alloc(8, 0);
    ASSERT_NE(block, nullptr);
    block[7] = 0x42;
    EXPECT_EQ(memory_realloc(block, 0), nullptr);
    EXPECT_EQ(memory_realloc(block, -1), nullptr);
    EXPECT_EQ(memory_realloc(block, INT32_MAX), nullptr);
    EXPECT_EQ(block[7], 0x42);
    EXPECT_EQ(HeapSize(memory_heap, 0, block), 8u);
    EXPECT_EQ(memory_free(block), 1);
}

// Running out of memory ends the process with exit code 0, also when the hook comes back.
TEST(MemoryExhaustedDeathTest, EndsTheProcessWithExitCodeZero) {
    EXPECT_EXIT(memory_exhausted(), testing::ExitedWithCode(0), "");
    memory_exhausted_hook = [] { fputs("hook ran", stderr); };
    EXPECT_EXIT(memory_exhausted(), testing::ExitedWithCode(0), "hook ran");
    memory_exhausted_hook = 0;
}

// The block pool: block sizes, chunk growth and chunk freeing, reuse order, the one-block
// fallback, shared pools with their users, and a shared locked pool used by many threads.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <thread>
#include <vector>

#include "runtime/memory.h"
#include "runtime/pool.h"
#include "tests/support/heap_faults.h"

namespace {

int32_t chunk_count(PoolChunk* chunk) {
    int32_t n = 0;
    for (; chunk; chunk = chunk->next) n++;
    return n;
}

// Blocks handed out by a pool, filled with a pattern of their own so that two blocks
// that overlap, or a block the pool scribbles on, show up.
struct Taken {
    uint32_t* block;
    uint32_t tag;
};

void fill(const Taken& t, int32_t words) {
    for (int32_t i = 0; i < words; i++) t.block[i] = t.tag + (uint32_t)i;
}

bool intact(const Taken& t, int32_t words) {
    for (int32_t i = 0; i < words; i++)
        if (t.block[i] != t.tag + (uint32_t)i) return false;
    return true;
}

}  // namespace

TEST(BlockPool, BlockSizeIsTheRecordPlusOneWordRoundedToFour) {
    // A block size of 0: no block can hold the record.
    struct { int32_t record; uint32_t flags; int32_t block; } cases[] = {
        {0, 0, 4}, {1, 0, 8}, {4, 0, 8}, {5, 0, 12}, {8, POOL_SHARED, 12}, {13, 0, 20},
        {-1, 0, 0}, {INT32_MAX, 0, 0}, {INT32_MAX - 7, POOL_SHARED, 0},
    };
    for (auto c : cases) {
        BlockPool* pool = pool_new(c.record, 16, 65536, c.flags);
        EXPECT_EQ(pool ? pool->block_size : 0, c.block) << c.record;
        pool_delete(pool);
    }
}

TEST(BlockPool, LockOnlyWhenTheLowTwoBitsAreOne) {
    struct { uint32_t flags; int32_t locked; } cases[] = {{0, 0}, {1, 1}, {2, 0}, {3, 0}, {5, 1}, {6, 0}};
    for (auto c : cases) {
        BlockPool* pool = pool_new(12, 16, 65536, c.flags);
        ASSERT_NE(pool, nullptr);
        EXPECT_EQ(pool->locked, c.locked) << c.flags;
        EXPECT_EQ(pool->shared_entry != nullptr, (c.flags & POOL_SHARED) != 0) << c.flags;
        // A locked pool serves as any other.
        void* block = pool_alloc(pool);
        EXPECT_NE(block, nullptr);
        pool_release(pool, block);
        pool_delete(pool);
    }
}

TEST(BlockPool, FirstChunkHoldsSixteenBlocksInAddressOrder) {
    BlockPool* pool = pool_new(12, 16, 65536, 0);
    char* first = (char*)pool_alloc(pool);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(pool->available_chunks, nullptr);
    EXPECT_EQ(pool->available_chunks->block_count, 16);
    EXPECT_EQ(pool->total_blocks, 16);
    for (int32_t i = 1; i < 16; i++) EXPECT_EQ((char*)pool_alloc(pool), first + i * pool->block_size) << i;
    // Sixteen handed out: the chunk is full.
    EXPECT_EQ(pool->available_chunks, nullptr);
    EXPECT_EQ(chunk_count(pool->full_chunks), 1);
    // The seventeenth makes a second chunk of sixteen.
    EXPECT_NE(pool_alloc(pool), nullptr);
    EXPECT_EQ(pool->total_blocks, 32);
    EXPECT_EQ(pool->available_chunks->block_count, 16);
    pool_delete(pool);
}

TEST(BlockPool, ChunksGrowWithThePoolWithinItsBounds) {
    struct { int32_t allocations; int32_t maximum; int32_t total; int32_t chunks; int32_t last_chunk; } cases[] = {
        {16, 65536, 16, 1, 16},     {17, 65536, 32, 2, 16},     {512, 65536, 512, 32, 16},
        {513, 65536, 544, 33, 32},  {1000, 65536, 1008, 45, 48}, {5000, 65536, 5280, 74, 304},
        {3000, 64, 3040, 77, 64},
    };
    for (auto c : cases) {
        BlockPool* pool = pool_new(4, 16, c.maximum, 0);
        PoolChunk* newest = 0;
        for (int32_t i = 0; i < c.allocations; i++) {
            ASSERT_NE(pool_alloc(pool), nullptr);
            if (pool->available_chunks && pool->available_chunks->handed_out == 1) newest = pool->available_chunks;
        }
        EXPECT_EQ(pool->total_blocks, c.total) << c.allocations;
        EXPECT_EQ(chunk_count(pool->full_chunks) + chunk_count(pool->available_chunks), c.chunks) << c.allocations;
        ASSERT_NE(newest, nullptr);
        EXPECT_EQ(newest->block_count, c.last_chunk) << c.allocations;
        pool_delete(pool);
    }
}

// Whether its only block came back or the pool was cleared, an emptied pool holds no
// chunk, and the next allocation makes a new one.
TEST(BlockPool, AnEmptiedPoolHoldsNoChunkAndStartsAgain) {
    for (int32_t taken : {1, 100}) {
        BlockPool* pool = pool_new(8, 16, 65536, 0);
        void* block = 0;
        for (int32_t i = 0; i < taken; i++) block = pool_alloc(pool);
        if (taken == 1) pool_release(pool, block); else pool_clear(pool);
        EXPECT_EQ(pool->available_chunks, nullptr) << taken;
        EXPECT_EQ(pool->full_chunks, nullptr) << taken;
        EXPECT_EQ(pool->total_blocks, 0) << taken;
        EXPECT_NE(pool_alloc(pool), nullptr);
        EXPECT_EQ(pool->total_blocks, 16);
        pool_delete(pool);
    }
}

TEST(BlockPool, AFullChunkWithOneBlockBackServesThatBlockNext) {
    BlockPool* pool = pool_new(8, 16, 65536, 0);
    std::vector<void*> blocks;
    for (int i = 0; i < 17; i++) blocks.push_back(pool_alloc(pool));
    PoolChunk* second = pool->available_chunks;
    PoolChunk* first = pool->full_chunks;
    pool_release(pool, blocks[5]);
    EXPECT_EQ(pool->available_chunks, first);
    EXPECT_EQ(first->next, second);
    EXPECT_EQ(pool->full_chunks, nullptr);
    EXPECT_EQ(pool_alloc(pool), blocks[5]);
    EXPECT_EQ(pool->full_chunks, first);
    // Free blocks come back last released first, before never-used ones.
    pool_release(pool, blocks[2]);
    pool_release(pool, blocks[9]);
    EXPECT_EQ(pool_alloc(pool), blocks[9]);
    EXPECT_EQ(pool_alloc(pool), blocks[2]);
    EXPECT_EQ((char*)pool_alloc(pool), (char*)blocks[16] + pool->block_size);
    pool_delete(pool);
}

// Thousands of blocks taken and given back in random order: no two blocks overlap, none
// is disturbed while handed out, and every chunk goes once everything is back.
TEST(BlockPool, ThousandsOfBlocksInRandomOrderLeaveNothingBehind) {
    const int32_t words = 5;
    BlockPool* pool = pool_new(words * 4, 16, 65536, 0);
    std::mt19937 random(12345);
    std::vector<Taken> taken;
    uint32_t tag = 1;
    for (int round = 0; round < 4; round++) {
        for (int i = 0; i < 3000; i++) {
            Taken t = {(uint32_t*)pool_alloc(pool), tag += 64};
            ASSERT_NE(t.block, nullptr);
            fill(t, words);
            taken.push_back(t);
        }
        std::shuffle(taken.begin(), taken.end(), random);
        size_t keep = taken.size() / 3;
        while (taken.size() > keep) {
            ASSERT_TRUE(intact(taken.back(), words));
            pool_release(pool, taken.back().block);
            taken.pop_back();
        }
    }
    EXPECT_GT(chunk_count(pool->available_chunks) + chunk_count(pool->full_chunks), 1);
    for (const Taken& t : taken) {
        ASSERT_TRUE(intact(t, words));
        pool_release(pool, t.block);
    }
    EXPECT_EQ(pool->available_chunks, nullptr);
    EXPECT_EQ(pool->full_chunks, nullptr);
    EXPECT_EQ(pool->total_blocks, 0);
    pool_delete(pool);
}

TEST(BlockPool, MissingPoolsAndBlocksAreIgnored) {
    EXPECT_EQ(pool_alloc(nullptr), nullptr);
    pool_release(nullptr, nullptr);
    pool_clear(nullptr);
    pool_delete(nullptr);
    BlockPool* pool = pool_new(8, 16, 65536, 0);
    pool_release(pool, nullptr);
    EXPECT_EQ(pool->total_blocks, 0);
    pool_delete(pool);
}

TEST(BlockPool, SharedPoolsMatchOnBlockSizeAndFlags) {
    BlockPool* a = pool_new(21, 16, 65536, POOL_SHARED);
    BlockPool* b = pool_new(24, 16, 65536, POOL_SHARED);  // the same 28-byte blocks
    BlockPool* other_size = pool_new(25, 16, 65536, POOL_SHARED);
    BlockPool* other_flags = pool_new(21, 16, 65536, POOL_SHARED | POOL_LOCKED);
    BlockPool* private_one = pool_new(21, 16, 65536, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(b, a);
    EXPECT_EQ(a->shared_entry->users, 2);
    EXPECT_NE(other_size, a);
    EXPECT_NE(other_flags, a);
    EXPECT_NE(private_one, a);
    EXPECT_EQ(private_one->shared_entry, nullptr);
    // The first user leaves: the pool keeps working for the second.
    pool_delete(a);
    EXPECT_EQ(b->shared_entry->users, 1);
    void* block = pool_alloc(b);
    ASSERT_NE(block, nullptr);
    memset(block, 0x5A, 24);
    pool_release(b, block);
    pool_delete(b);
    // The last user left: the next creator gets a fresh pool with one user.
    BlockPool* again = pool_new(21, 16, 65536, POOL_SHARED);
    EXPECT_EQ(again->shared_entry->users, 1);
    EXPECT_EQ(again->total_blocks, 0);
    for (BlockPool* pool : {again, other_size, other_flags, private_one}) pool_delete(pool);
}

// Several threads share one locked pool: each takes its own user, takes and gives back
// blocks at random, and checks that nobody else touched its blocks.
TEST(BlockPool, ASharedLockedPoolServesManyThreads) {
    const int32_t words = 4;
    const uint32_t flags = POOL_SHARED | POOL_LOCKED;
    BlockPool* pool = pool_new(words * 4, 16, 65536, flags);
    ASSERT_NE(pool, nullptr);
    std::vector<int> damaged(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([&, t] {
            BlockPool* mine = pool_new(words * 4, 16, 65536, flags);
            if (mine != pool) {
                damaged[t]++;
                pool_delete(mine);
                return;
            }
            std::mt19937 random(1000 + t);
            std::vector<Taken> taken;
            uint32_t tag = (uint32_t)t << 24;
            for (int step = 0; step < 20000; step++) {
                if (taken.empty() || random() % 3 != 0) {
                    Taken one = {(uint32_t*)pool_alloc(mine), tag += 16};
                    if (!one.block) { damaged[t]++; break; }
                    fill(one, words);
                    taken.push_back(one);
                } else {
                    size_t i = random() % taken.size();
                    if (!intact(taken[i], words)) damaged[t]++;
                    pool_release(mine, taken[i].block);
                    taken[i] = taken.back();
                    taken.pop_back();
                }
            }
            for (const Taken& one : taken) {
                if (!intact(one, words)) damaged[t]++;
                pool_release(mine, one.block);
            }
            pool_delete(mine);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(damaged, std::vector<int>(4, 0));
    EXPECT_EQ(pool->shared_entry->users, 1);
    EXPECT_EQ(pool->total_blocks, 0);
    pool_delete(pool);
}

TEST(BlockPoolFaults, WithoutRoomForAFullChunkOneBlockStillComes) {
    int32_t live = heap_live_blocks();
    BlockPool* pool = pool_new(8, 16, 65536, 0);
    heap_faults_arm(1, 1);
    void* block = pool_alloc(pool);
    EXPECT_EQ(heap_faults_disarm(), 2);
    ASSERT_NE(block, nullptr);
    // A one-block chunk is full from the start.
    EXPECT_EQ(pool->available_chunks, nullptr);
    ASSERT_NE(pool->full_chunks, nullptr);
    EXPECT_EQ(pool->full_chunks->block_count, 1);
    EXPECT_EQ(pool->total_blocks, 1);
    pool_release(pool, block);
    EXPECT_EQ(pool->full_chunks, nullptr);
    EXPECT_EQ(pool->total_blocks, 0);
    pool_delete(pool);
    EXPECT_EQ(heap_live_blocks(), live);
}

TEST(BlockPoolFaults, WithoutAnyRoomAllocationFailsAndChangesNothing) {
    BlockPool* pool = pool_new(8, 16, 65536, 0);
    void* kept = pool_alloc(pool);
    for (int i = 0; i < 15; i++) pool_alloc(pool);
    heap_faults_arm(1, 2);
    EXPECT_EQ(pool_alloc(pool), nullptr);
    heap_faults_disarm();
    EXPECT_EQ(pool->total_blocks, 16);
    EXPECT_EQ(pool->available_chunks, nullptr);
    EXPECT_EQ(chunk_count(pool->full_chunks), 1);
    pool_release(pool, kept);
    EXPECT_EQ(pool_alloc(pool), kept);
    pool_delete(pool);
}

TEST(BlockPoolFaults, FailedCreationsLeaveNothingBehind) {
    for (uint32_t flags : {0u, (uint32_t)POOL_LOCKED, (uint32_t)POOL_SHARED, (uint32_t)(POOL_SHARED | POOL_LOCKED)}) {
        sweep_failing_allocations([&](int32_t k) {
            int32_t live = heap_live_blocks();
            heap_faults_arm(k, 1);
            BlockPool* pool = pool_new(40, 16, 65536, flags);
            int32_t asked = heap_faults_disarm();
            if (asked >= k) {
                EXPECT_EQ(pool, nullptr) << flags << " " << k;
                EXPECT_EQ(heap_live_blocks(), live) << flags << " " << k;
            }
            // A failed shared creation is not left in the shared list.
            BlockPool* check = pool_new(40, 16, 65536, flags);
            if (flags & POOL_SHARED) {
                EXPECT_EQ(check->shared_entry->users, pool ? 2 : 1);
            }
            pool_delete(check);
            pool_delete(pool);
            EXPECT_EQ(heap_live_blocks(), live);
            return asked;
        });
    }
}

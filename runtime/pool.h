// BlockPool: fixed-size blocks carved out of chunks of object_heap, for list and map
// nodes and queued events. Released blocks wait on their chunk's free list; a chunk goes
// back to the heap as soon as every block it handed out has come back. Pools asked for
// as shared are shared by every creator with the same block size and flags.
//
// Every block is one word followed by the caller's bytes: the word names the block's
// chunk while the block is handed out, and links the next free block while it is free.
#ifndef VANTOREL_RUNTIME_POOL_H
#define VANTOREL_RUNTIME_POOL_H

#include <stdint.h>
#include "runtime/platform.h"

// Flags: the value 4 shares the pool; low two bits equal to 1 give it a lock of its own.
enum {
    POOL_LOCKED = 1,
    POOL_LOCK_BITS = 3,
    POOL_SHARED = 4,
};

struct PoolChunk {
    PoolChunk* next;
    PoolChunk* previous;  // null for the head of its list
    void* free_list;
    int32_t block_count;
    int32_t handed_out;   // blocks taken so far from the never-used part, in address order
    int32_t free_count;
};

struct SharedPoolEntry;

struct BlockPool {
    PoolChunk* full_chunks;       // no free and no never-used block
    PoolChunk* available_chunks;  // allocation serves from the head
    SharedPoolEntry* shared_entry;
    int32_t total_blocks;
    int32_t block_size;
    int32_t initial_blocks;
    int32_t maximum_blocks;
    int32_t locked;
    CRITICAL_SECTION lock;
};

struct SharedPoolEntry {
    SharedPoolEntry* next;
    SharedPoolEntry* previous;
    BlockPool* pool;
    int32_t block_size;
    uint32_t flags;
    int32_t users;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(PoolChunk) == 24, "PoolChunk keeps its 32-bit layout");
static_assert(sizeof(BlockPool) == 32 + sizeof(CRITICAL_SECTION), "BlockPool keeps its 32-bit layout");
static_assert(sizeof(SharedPoolEntry) == 24, "SharedPoolEntry keeps its 32-bit layout");
#endif

// A pool of blocks of record_size bytes; new chunks get about a sixteenth of what the
// pool holds, in steps of 16 blocks, within initial_blocks and maximum_blocks. Null when
// memory runs out or the record size is negative or too large for one block.
BlockPool* pool_new(int32_t record_size, int32_t initial_blocks, int32_t maximum_blocks, uint32_t flags);
// The caller's part of a block, not cleared, or null when memory runs out.
void* pool_alloc(BlockPool* pool);
// Gives back a block that came from this pool.
void pool_release(BlockPool* pool, void* block);
// Frees every chunk at once: every block of the pool becomes invalid.
void pool_clear(BlockPool* pool);
// Drops one user of a shared pool, destroying it with its last user; destroys a private one.
void pool_delete(BlockPool* pool);

#endif

// The block pool. A chunk is its header followed by block_count blocks; blocks are handed
// out first from the chunk's free list (last released first), then from its never-used
// part in address order. Shared pools sit in one process-wide list of entries, set up
// once through run_once and guarded by its own critical section.
#include "runtime/pool.h"

#include "runtime/memory.h"
#include "runtime/once.h"

// The word in front of every block.
static const int32_t BLOCK_WORD = (int32_t)sizeof(void*);

static SharedPoolEntry* shared_pools;
static CRITICAL_SECTION shared_pools_lock;
static OnceFlag shared_pools_once;

static void shared_pools_setup(void) {
    shared_pools = 0;
    InitializeCriticalSection(&shared_pools_lock);
}

static void** block_word(void* block) { return (void**)block; }

static char* chunk_block(PoolChunk* chunk, int32_t block_size, int32_t position) {
    return (char*)(chunk + 1) + (intptr_t)position * block_size;
}

static void chunk_link(PoolChunk** list, PoolChunk* chunk) {
    chunk->previous = 0;
    chunk->next = *list;
    if (*list) (*list)->previous = chunk;
    *list = chunk;
}

static void chunk_unlink(PoolChunk** list, PoolChunk* chunk) {
    if (chunk->previous) chunk->previous->next = chunk->next; else *list = chunk->next;
    if (chunk->next) chunk->next->previous = chunk->previous;
}

static void chunks_free(PoolChunk* chunk) {
    while (chunk) {
        PoolChunk* next = chunk->next;
        HeapFree(object_heap, 0, chunk);
        chunk = next;
    }
}

static void pool_enter(BlockPool* pool) {
    if (pool->locked) EnterCriticalSection(&pool->lock);
}

static void pool_leave(BlockPool* pool) {
    if (pool->locked) LeaveCriticalSection(&pool->lock);
}

static BlockPool* private_pool_new(int32_t block_size, int32_t initial, int32_t maximum, uint32_t flags) {
    BlockPool* pool = (BlockPool*)HeapAlloc(object_heap, 0, sizeof(BlockPool));
    if (!pool) return 0;
    pool->full_chunks = 0;
    pool->available_chunks = 0;
    pool->shared_entry = 0;
    pool->total_blocks = 0;
    pool->block_size = block_size;
    pool->initial_blocks = initial;
    pool->maximum_blocks = maximum;
    pool->locked = (flags & POOL_LOCK_BITS) == POOL_LOCKED ? 1 : 0;
    if (pool->locked) InitializeCriticalSection(&pool->lock);
    return pool;
}

static void private_pool_delete(BlockPool* pool) {
    pool_clear(pool);
    if (pool->locked) DeleteCriticalSection(&pool->lock);
    HeapFree(object_heap, 0, pool);
}

BlockPool* pool_new(int32_t record_size, int32_t initial_blocks, int32_t maximum_blocks, uint32_t flags) {
    if (record_size < 0 || record_size > INT32_MAX - 2 * BLOCK_WORD) return 0;
    int32_t block_size = (record_size + 2 * BLOCK_WORD - 1) / BLOCK_WORD * BLOCK_WORD;
    if (!(flags & POOL_SHARED)) return private_pool_new(block_size, initial_blocks, maximum_blocks, flags);

    run_once(&shared_pools_once, shared_pools_setup);
    EnterCriticalSection(&shared_pools_lock);
    for (SharedPoolEntry* entry = shared_pools; entry; entry = entry->next) {
        if (entry->block_size == block_size && entry->flags == flags) {
            entry->users++;
            LeaveCriticalSection(&shared_pools_lock);
            return entry->pool;
        }
    }
    SharedPoolEntry* entry = (SharedPoolEntry*)HeapAlloc(object_heap, 0, sizeof(SharedPoolEntry));
    if (!entry) {
        LeaveCriticalSection(&shared_pools_lock);
        return 0;
    }
    BlockPool* pool = private_pool_new(block_size, initial_blocks, maximum_blocks, flags & ~POOL_SHARED);
    if (!pool) {
        HeapFree(object_heap, 0, entry);
        LeaveCriticalSection(&shared_pools_lock);
        return 0;
    }
    entry->pool = pool;
    entry->block_size = block_size;
    entry->flags = flags;
    entry->users = 1;
    entry->previous = 0;
    entry->next = shared_pools;
    if (shared_pools) shared_pools->previous = entry;
    shared_pools = entry;
    pool->shared_entry = entry;
    LeaveCriticalSection(&shared_pools_lock);
    return pool;
}

// About a sixteenth of the pool, in steps of 16 blocks, within the pool's bounds.
static int32_t chunk_blocks(const BlockPool* pool) {
    int32_t n = pool->total_blocks / 16 / 16 * 16;
    if (n < pool->initial_blocks) n = pool->initial_blocks;
    else if (n > pool->maximum_blocks) n = pool->maximum_blocks;
    return n > 0 ? n : 1;
}

static PoolChunk* chunk_new(const BlockPool* pool, int32_t blocks) {
    uint64_t bytes = sizeof(PoolChunk) + (uint64_t)blocks * (uint64_t)pool->block_size;
    if (bytes > 0x7FFFFFF0u) return 0;
    return (PoolChunk*)HeapAlloc(object_heap, 0, (SIZE_T)bytes);
}

// The first block of a fresh chunk; null when not even a one-block chunk can be had.
static void* take_from_new_chunk(BlockPool* pool, PoolChunk** owner) {
    int32_t blocks = chunk_blocks(pool);
    PoolChunk* chunk = chunk_new(pool, blocks);
    if (!chunk && blocks > 1) {
        blocks = 1;
        chunk = chunk_new(pool, 1);
    }
    if (!chunk) return 0;
    chunk->block_count = blocks;
    chunk->handed_out = 1;
    chunk->free_count = 0;
    chunk->free_list = 0;
    pool->total_blocks += blocks;
    chunk_link(blocks > 1 ? &pool->available_chunks : &pool->full_chunks, chunk);
    *owner = chunk;
    return chunk_block(chunk, pool->block_size, 0);
}

static void* take_from_available(BlockPool* pool, PoolChunk** owner) {
    PoolChunk* chunk = pool->available_chunks;
    void* block;
    if (chunk->free_count > 0) {
        block = chunk->free_list;
        chunk->free_list = *block_word(block);
        chunk->free_count--;
    } else {
        block = chunk_block(chunk, pool->block_size, chunk->handed_out);
        chunk->handed_out++;
    }
    if (chunk->free_count == 0 && chunk->handed_out >= chunk->block_count) {
        chunk_unlink(&pool->available_chunks, chunk);
        chunk_link(&pool->full_chunks, chunk);
    }
    *owner = chunk;
    return block;
}

void* pool_alloc(BlockPool* pool) {
    if (!pool) return 0;
    pool_enter(pool);
    PoolChunk* chunk = 0;
    void* block = pool->available_chunks ? take_from_available(pool, &chunk)
                                         : take_from_new_chunk(pool, &chunk);
    pool_leave(pool);
    if (!block) return 0;
    *block_word(block) = chunk;
    return (char*)block + BLOCK_WORD;
}

void pool_release(BlockPool* pool, void* record) {
    if (!pool || !record) return;
    void* block = (char*)record - BLOCK_WORD;
    pool_enter(pool);
    PoolChunk* chunk = (PoolChunk*)*block_word(block);
    // A chunk was full when nothing of it was free and nothing of it was never used.
    bool was_full = chunk->free_count == 0 && chunk->handed_out >= chunk->block_count;
    *block_word(block) = chunk->free_list;
    chunk->free_list = block;
    chunk->free_count++;
    if (chunk->free_count == chunk->handed_out) {
        chunk_unlink(was_full ? &pool->full_chunks : &pool->available_chunks, chunk);
        pool->total_blocks -= chunk->block_count;
        HeapFree(object_heap, 0, chunk);
    } else if (was_full) {
        chunk_unlink(&pool->full_chunks, chunk);
        chunk_link(&pool->available_chunks, chunk);
    }
    pool_leave(pool);
}

void pool_clear(BlockPool* pool) {
    if (!pool) return;
    pool_enter(pool);
    chunks_free(pool->available_chunks);
    chunks_free(pool->full_chunks);
    pool->available_chunks = 0;
    pool->full_chunks = 0;
    pool->total_blocks = 0;
    pool_leave(pool);
}

void pool_delete(BlockPool* pool) {
    if (!pool) return;
    SharedPoolEntry* entry = pool->shared_entry;
    if (!entry) {
        private_pool_delete(pool);
        return;
    }
    EnterCriticalSection(&shared_pools_lock);
    entry->users--;
    if (entry->users <= 0) {
        pool->shared_entry = 0;
        private_pool_delete(pool);
        if (entry->previous) entry->previous->next = entry->next; else shared_pools = entry->next;
        if (entry->next) entry->next->previous = entry->previous;
        HeapFree(object_heap, 0, entry);
    }
    LeaveCriticalSection(&shared_pools_lock);
}

// The one door to the operating system for platform-neutral code.
// On Windows it is <windows.h>. On the Linux host build it supplies the few kernel32
// calls the neutral code makes (private heaps, one-time initialisation, interlocked
// operations, Sleep, critical sections, ExitProcess, deleting and renaming files, processor
// features), so the sanitizers can watch that code.
#ifndef VANTOREL_RUNTIME_PLATFORM_H
#define VANTOREL_RUNTIME_PLATFORM_H

#ifdef _WIN32
#include <windows.h>
#else

#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef int BOOL;
typedef unsigned long DWORD;
typedef long LONG;
typedef size_t SIZE_T;
typedef void* HANDLE;
typedef void* HMODULE;
typedef void* PVOID;
typedef void* LPVOID;
typedef int (*FARPROC)(void);
#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0
#define HEAP_ZERO_MEMORY 0x00000008

// A private heap: every block carries a header that links it into its heap, so that
// destroying the heap frees every block still in it.
struct HostHeapBlock {
    HostHeapBlock* prev;
    HostHeapBlock* next;
    SIZE_T size;
    SIZE_T pad;  // keeps the payload 8-byte aligned on 32 and 64 bits alike
};
struct HostHeap {
    pthread_mutex_t lock;
    HostHeapBlock* head;
};

inline HANDLE HeapCreate(DWORD, SIZE_T, SIZE_T) {
    HostHeap* heap = (HostHeap*)calloc(1, sizeof(HostHeap));
    if (heap) pthread_mutex_init(&heap->lock, 0);
    return heap;
}

inline void host_heap_link(HostHeap* heap, HostHeapBlock* block) {
    block->prev = 0;
    block->next = heap->head;
    if (heap->head) heap->head->prev = block;
    heap->head = block;
}

inline void host_heap_unlink(HostHeap* heap, HostHeapBlock* block) {
    if (block->prev) block->prev->next = block->next; else heap->head = block->next;
    if (block->next) block->next->prev = block->prev;
}

// Lets tests make chosen allocations fail: when set, an allocation it answers true for
// returns null.
inline bool (*host_heap_refuses)(HANDLE heap, SIZE_T size) = 0;

inline LPVOID HeapAlloc(HANDLE h, DWORD flags, SIZE_T size) {
    HostHeap* heap = (HostHeap*)h;
    if (size > (SIZE_T)0x7FFFFFF0) return 0;
    if (host_heap_refuses && host_heap_refuses(h, size)) return 0;
    HostHeapBlock* block = (HostHeapBlock*)malloc(sizeof(HostHeapBlock) + size);
    if (!block) return 0;
    if (flags & HEAP_ZERO_MEMORY) memset(block + 1, 0, size);
    block->size = size;
    pthread_mutex_lock(&heap->lock);
    host_heap_link(heap, block);
    pthread_mutex_unlock(&heap->lock);
    return block + 1;
}

inline LPVOID HeapReAlloc(HANDLE h, DWORD flags, LPVOID memory, SIZE_T size) {
    HostHeap* heap = (HostHeap*)h;
    if (size > (SIZE_T)0x7FFFFFF0) return 0;
    if (host_heap_refuses && host_heap_refuses(h, size)) return 0;
    HostHeapBlock* old = (HostHeapBlock*)memory - 1;
    pthread_mutex_lock(&heap->lock);
    SIZE_T old_size = old->size;
    host_heap_unlink(heap, old);
    HostHeapBlock* block = (HostHeapBlock*)realloc(old, sizeof(HostHeapBlock) + size);
    if (!block) {
        host_heap_link(heap, old);
        pthread_mutex_unlock(&heap->lock);
        return 0;
    }
    block->size = size;
    host_heap_link(heap, block);
    pthread_mutex_unlock(&heap->lock);
    if ((flags & HEAP_ZERO_MEMORY) && size > old_size)
        memset((char*)(block + 1) + old_size, 0, size - old_size);
    return block + 1;
}

inline BOOL HeapFree(HANDLE h, DWORD, LPVOID memory) {
    if (!memory) return TRUE;
    HostHeap* heap = (HostHeap*)h;
    HostHeapBlock* block = (HostHeapBlock*)memory - 1;
    pthread_mutex_lock(&heap->lock);
    host_heap_unlink(heap, block);
    pthread_mutex_unlock(&heap->lock);
    free(block);
    return TRUE;
}

inline SIZE_T HeapSize(HANDLE, DWORD, const void* memory) {
    return ((const HostHeapBlock*)memory - 1)->size;
}

inline BOOL HeapDestroy(HANDLE h) {
    HostHeap* heap = (HostHeap*)h;
    if (!heap) return FALSE;
    while (heap->head) {
        HostHeapBlock* block = heap->head;
        heap->head = block->next;
        free(block);
    }
    pthread_mutex_destroy(&heap->lock);
    free(heap);
    return TRUE;
}

typedef unsigned int UINT;
// The process ends as ExitProcess ends it: exit handlers run, the code is kept.
[[noreturn]] inline void ExitProcess(UINT code) { exit((int)code); }

inline BOOL DeleteFileA(const char* name) { return unlink(name) == 0 ? TRUE : FALSE; }
#define MOVEFILE_REPLACE_EXISTING 0x1
// rename replaces the target in one step, as MoveFileExA with that flag does.
inline BOOL MoveFileExA(const char* from, const char* to, DWORD) { return rename(from, to) == 0 ? TRUE : FALSE; }
// The host's paths are single-byte for the neutral code: a character is a byte.
inline char* CharNextA(const char* p) { return (char*)(*p ? p + 1 : p); }

// The host has no system one-time initialisation to look up: run_once takes its fallback.
inline HMODULE LoadLibraryA(const char*) { return 0; }
inline FARPROC GetProcAddress(HMODULE, const char*) { return 0; }
inline BOOL FreeLibrary(HMODULE) { return TRUE; }

inline LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand) {
    return __sync_val_compare_and_swap(target, comparand, exchange);
}
inline LONG InterlockedExchange(volatile LONG* target, LONG value) {
    __sync_synchronize();
    return __sync_lock_test_and_set(target, value);
}

inline void Sleep(DWORD ms) {
    if (ms == 0) { sched_yield(); return; }
    struct timespec t = { (time_t)(ms / 1000), (long)(ms % 1000) * 1000000L };
    nanosleep(&t, 0);
}

struct CRITICAL_SECTION { pthread_mutex_t mutex; };
inline void InitializeCriticalSection(CRITICAL_SECTION* cs) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);  // re-entrant, as on Windows
    pthread_mutex_init(&cs->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}
inline void EnterCriticalSection(CRITICAL_SECTION* cs) { pthread_mutex_lock(&cs->mutex); }
inline void LeaveCriticalSection(CRITICAL_SECTION* cs) { pthread_mutex_unlock(&cs->mutex); }
inline void DeleteCriticalSection(CRITICAL_SECTION* cs) { pthread_mutex_destroy(&cs->mutex); }

// Only SSE2 is asked for.
#define PF_XMMI64_INSTRUCTIONS_AVAILABLE 10
inline BOOL IsProcessorFeaturePresent(DWORD feature) {
    return feature == PF_XMMI64_INSTRUCTIONS_AVAILABLE && __builtin_cpu_supports("sse2");
}

#endif  // _WIN32
#endif

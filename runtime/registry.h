// Numbered object registry: maps object numbers to fixed-size records of one kind
// (windows, gadgets, files, scans, images, launched programs), and the library state
// record. All memory comes from object_heap.
//
// Numbers 0 and up name table slots; -1 asks for an automatic record, kept in a chain
// outside the table, whose address is its identity and serves as its number from then
// on. The first 32-bit word of every record is its primary handle: the record is live
// while that word is non-zero.
#ifndef VANTOREL_RUNTIME_REGISTRY_H
#define VANTOREL_RUNTIME_REGISTRY_H

#include <stdint.h>

enum { REGISTRY_AUTOMATIC = -1 };

// The owning library's operation that frees one object; it ends with registry_free.
typedef int32_t (*RegistryRelease)(int32_t number);

struct ObjectRegistry {
    int32_t object_size;
    int32_t growth_step;
    int32_t capacity;
    void** slots;
    void* automatic_chain;  // newest automatic node
    RegistryRelease release;
    int32_t iteration_position;
    void* iteration_node;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ObjectRegistry) == 32, "ObjectRegistry keeps its 32-bit layout");
#endif

// Null when memory cannot be had or the growth step is not positive.
ObjectRegistry* registry_new(int32_t object_size, int32_t growth_step, RegistryRelease release);
// A fresh, zero-filled record for a table number (releasing what the number held) or
// for -1 a new automatic record; null when memory cannot be had or the number is
// neither -1 nor 0 and up.
void* registry_allocate(ObjectRegistry* registry, int32_t number);
// The live record of a table number or automatic identity, or null.
void* registry_get(ObjectRegistry* registry, int32_t number);
// Kills the record: a table record is zero-filled and kept, an automatic one unlinked
// and freed. A number the registry does not know is ignored.
void registry_free(ObjectRegistry* registry, int32_t number);
// Calls the release callback for every live table record (ascending), then every
// automatic record (oldest first).
void registry_release_all(ObjectRegistry* registry);
// Iteration that survives the caller freeing the record it was just given.
void registry_first(ObjectRegistry* registry);
void* registry_next(ObjectRegistry* registry, int32_t* number);

// The identity of an automatic record, as handed out for its number.
int32_t registry_identity(const void* record);

// A library's zero-filled state record; init, when given, is called with it.
typedef void (*SingleObjectRoutine)(void* record);
void* single_object_new(int32_t size, SingleObjectRoutine init, SingleObjectRoutine release);
void* single_object_get(void* record);

#endif

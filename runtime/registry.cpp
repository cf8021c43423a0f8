// The numbered object registry. Table records are made once per number and only
// zero-filled afterwards; automatic records sit in nodes of two link words (next toward
// older, previous toward newer) followed by the record.
#include "runtime/registry.h"

#include <string.h>

#include "runtime/memory.h"

struct AutomaticNode {
    AutomaticNode* next;
    AutomaticNode* previous;
};

static void* node_record(AutomaticNode* node) { return node + 1; }

int32_t registry_identity(const void* record) {
    return (int32_t)(intptr_t)record;
}

static bool is_table_number(const ObjectRegistry* registry, int32_t number) {
    return number >= 0 && number < registry->capacity;
}

// Any number outside the table is taken as an automatic identity only when the chain
// really holds it, so a stray number reads as not found instead of as memory.
static AutomaticNode* find_automatic(const ObjectRegistry* registry, int32_t number) {
    for (AutomaticNode* node = (AutomaticNode*)registry->automatic_chain; node; node = node->next)
        if (registry_identity(node_record(node)) == number) return node;
    return 0;
}

static bool is_live(const void* record) {
    uint32_t handle;
    memcpy(&handle, record, sizeof handle);
    return handle != 0;
}

ObjectRegistry* registry_new(int32_t object_size, int32_t growth_step, RegistryRelease release) {
    // Growth adds the step past the number asked for: without a positive step the table
    // would not hold that number. A step beyond the addressable slots is refused too.
    if (growth_step <= 0 || (uint64_t)growth_step * sizeof(void*) > 0x7FFFFFFF) return 0;
    ObjectRegistry* registry =
        (ObjectRegistry*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, sizeof(ObjectRegistry));
    if (!registry) return 0;
    registry->object_size = object_size;
    registry->growth_step = growth_step;
    registry->release = release;
    registry->slots = (void**)HeapAlloc(object_heap, HEAP_ZERO_MEMORY,
                                        sizeof(void*) * (SIZE_T)growth_step);
    if (!registry->slots) {
        HeapFree(object_heap, 0, registry);
        return 0;
    }
    registry->capacity = growth_step;
    return registry;
}

static void* allocate_automatic(ObjectRegistry* registry) {
    AutomaticNode* node = (AutomaticNode*)HeapAlloc(
        object_heap, HEAP_ZERO_MEMORY, sizeof(AutomaticNode) + (SIZE_T)registry->object_size);
    if (!node) return 0;
    AutomaticNode* head = (AutomaticNode*)registry->automatic_chain;
    node->next = head;
    if (head) head->previous = node;
    registry->automatic_chain = node;
    return node_record(node);
}

static bool grow_table(ObjectRegistry* registry, int32_t number) {
    int64_t capacity = (int64_t)number + registry->growth_step;
    if (capacity > INT32_MAX || (uint64_t)capacity * sizeof(void*) > 0x7FFFFFFF) return false;
    void** slots = (void**)HeapReAlloc(object_heap, HEAP_ZERO_MEMORY, registry->slots,
                                       (SIZE_T)capacity * sizeof(void*));
    if (!slots) return false;
    registry->slots = slots;
    registry->capacity = (int32_t)capacity;
    return true;
}

void* registry_allocate(ObjectRegistry* registry, int32_t number) {
    if (number == REGISTRY_AUTOMATIC) return allocate_automatic(registry);
    if (number < 0) return 0;
    if (number >= registry->capacity && !grow_table(registry, number)) return 0;
    void* record = registry->slots[number];
    if (record) {
        if (registry->release) registry->release(number);
        return registry->slots[number];
    }
    record = HeapAlloc(object_heap, HEAP_ZERO_MEMORY, (SIZE_T)registry->object_size);
    registry->slots[number] = record;
    return record;
}

void* registry_get(ObjectRegistry* registry, int32_t number) {
    void* record;
    if (is_table_number(registry, number)) {
        record = registry->slots[number];
    } else {
        AutomaticNode* node = find_automatic(registry, number);
        record = node ? node_record(node) : 0;
    }
    return record && is_live(record) ? record : 0;
}

void registry_free(ObjectRegistry* registry, int32_t number) {
    if (is_table_number(registry, number)) {
        void* record = registry->slots[number];
        if (record) memset(record, 0, (size_t)registry->object_size);
        return;
    }
    AutomaticNode* node = find_automatic(registry, number);
    if (!node) return;
    if (node == registry->automatic_chain) {
        registry->automatic_chain = node->next;
        if (node->next) node->next->previous = 0;
    } else {
        node->previous->next = node->next;
        if (node->next) node->next->previous = node->previous;
    }
    // An iteration about to visit this node moves on to the next newer one.
    if (registry->iteration_node == node) registry->iteration_node = node->previous;
    HeapFree(object_heap, 0, node);
}

void registry_first(ObjectRegistry* registry) {
    registry->iteration_position = 0;
    AutomaticNode* node = (AutomaticNode*)registry->automatic_chain;
    while (node && node->next) node = node->next;
    registry->iteration_node = node;
}

void* registry_next(ObjectRegistry* registry, int32_t* number) {
    while (registry->iteration_position < registry->capacity) {
        int32_t position = registry->iteration_position++;
        void* record = registry->slots[position];
        if (record && is_live(record)) {
            *number = position;
            return record;
        }
    }
    AutomaticNode* node = (AutomaticNode*)registry->iteration_node;
    if (!node) return 0;
    registry->iteration_node = node->previous;
    *number = registry_identity(node_record(node));
    return node_record(node);
}

void registry_release_all(ObjectRegistry* registry) {
    if (!registry || !registry->release) return;
    registry_first(registry);
    int32_t number;
    while (registry_next(registry, &number)) registry->release(number);
}

void* single_object_new(int32_t size, SingleObjectRoutine init, SingleObjectRoutine) {
    void* record = HeapAlloc(object_heap, HEAP_ZERO_MEMORY, (SIZE_T)(size > 0 ? size : 1));
    if (record && init) init(record);
    return record;
}

void* single_object_get(void* record) {
    return record;
}

// Hash maps with text keys: a fixed number of buckets with chaining, new nodes in front
// of their bucket, and a cursor (current, previous, their buckets) for searching and
// iterating. The node before current is kept exactly when an iteration step set it;
// after a search, an addition or a deletion it is marked unknown and looked up only if
// current is deleted.
#include <string.h>

#include "runtime/containers.h"
#include "runtime/memory.h"
#include "runtime/strings.h"

static void* node_element(MapNode* node) { return node + 1; }

void map_library_init(void) {
    container_operations.create_map = map_new;
    container_operations.copy_map = map_copy;
    container_operations.free_map = map_free;
}

// h = h * 65599 + b over the key's bytes taken as signed, modulo 2^32.
uint32_t key_hash(const char* key) {
    uint32_t h = 0;
    for (const char* p = key ? key : str_empty; *p; p++) h = h * 65599u + (uint32_t)(int32_t)(signed char)*p;
    return h;
}

static int32_t bucket_of(const HashMap* map, const char* key) {
    return (int32_t)(key_hash(key) % (uint32_t)map->bucket_count);
}

HashMap* map_new(int32_t element_size, int32_t kind, const FieldDescriptor* descriptor, HashMap** owner,
                 int32_t bucket_count) {
    // What is refused for its arguments leaves the owner's map alone.
    if (element_size < 0 || element_size > INT32_MAX - 2 * (int32_t)sizeof(MapNode)) return 0;
    if (!fields_supported(descriptor)) return 0;
    if (bucket_count < 1) bucket_count = 1;
    uint64_t bucket_bytes = (uint64_t)bucket_count * sizeof(MapNode*);
    if (bucket_bytes > 0x7FFFFFF0u) return 0;
    if (owner && *owner) map_free(*owner);
    HashMap* map = (HashMap*)HeapAlloc(object_heap, 0, sizeof(HashMap));
    if (!map) return 0;
    map->buckets = (MapNode**)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, (SIZE_T)bucket_bytes);
    if (!map->buckets) {
        HeapFree(object_heap, 0, map);
        return 0;
    }
    map->pool = pool_new(element_size + (int32_t)sizeof(MapNode), 16, 65536, POOL_SHARED);
    if (!map->pool) {
        HeapFree(object_heap, 0, map->buckets);
        HeapFree(object_heap, 0, map);
        return 0;
    }
    map->current = 0;
    map->bucket_index = -1;
    map->previous = 0;
    map->saved_index = MAP_PREVIOUS_UNKNOWN;
    map->descriptor = descriptor;
    map->element_size = element_size;
    map->kind = kind;
    map->bucket_count = bucket_count;
    map->count = 0;
    map->flags = fields_need_setup(descriptor) ? MAP_NEEDS_SETUP : 0;
    map->owner = owner;
    if (owner) *owner = map;
    return map;
}

void* map_find(HashMap* map, const char* key) {
    if (!map) return 0;
    if (!key) key = str_empty;
    int32_t bucket = bucket_of(map, key);
    MapNode* before = 0;
    for (MapNode* node = map->buckets[bucket]; node; before = node, node = node->next) {
        if (strcmp(node->key, key) != 0) continue;
        map->current = node;
        map->bucket_index = bucket;
        // Within one chain the node before is the one walked just now.
        map->previous = before;
        map->saved_index = before ? bucket : MAP_PREVIOUS_UNKNOWN;
        return node_element(node);
    }
    return 0;
}

// A found element made again, zero-filled with fresh fields. Its old fields are moved
// aside first and released only once the new ones are all made; failing, they come back.
// Containers keep the address of the field that holds them, which stays the same.
static void* renew_element(HashMap* map, void* element) {
    if (!(map->flags & MAP_NEEDS_SETUP)) {
        fields_release(element, map->descriptor);
        memset(element, 0, (size_t)map->element_size);
        return element;
    }
    void* old = HeapAlloc(object_heap, 0, (SIZE_T)map->element_size);
    if (!old) return 0;
    memcpy(old, element, (size_t)map->element_size);
    memset(element, 0, (size_t)map->element_size);
    int32_t made = fields_setup(element, map->descriptor);
    if (made) {
        fields_release(old, map->descriptor);
    } else {
        fields_release(element, map->descriptor);
        memcpy(element, old, (size_t)map->element_size);
    }
    HeapFree(object_heap, 0, old);
    return made ? element : 0;
}

void* map_add(HashMap* map, const char* key, int32_t reuse) {
    if (!map) return 0;
    if (!key) key = str_empty;
    void* element = reuse ? map_find(map, key) : 0;
    if (element) return renew_element(map, element);
    MapNode* node = (MapNode*)pool_alloc(map->pool);
    if (!node) return 0;
    size_t length = strlen(key) + 1;
    node->key = (char*)HeapAlloc(object_heap, 0, length);
    if (!node->key) {
        pool_release(map->pool, node);
        return 0;
    }
    memcpy(node->key, key, length);
    element = node_element(node);
    memset(element, 0, (size_t)map->element_size);
    // Set up before the node joins its bucket, so that a failure leaves the map as it was.
    if ((map->flags & MAP_NEEDS_SETUP) && !fields_setup(element, map->descriptor)) {
        fields_release(element, map->descriptor);
        HeapFree(object_heap, 0, node->key);
        pool_release(map->pool, node);
        return 0;
    }
    int32_t bucket = bucket_of(map, key);
    node->next = map->buckets[bucket];
    map->buckets[bucket] = node;
    map->count++;
    map->current = node;
    map->bucket_index = bucket;
    map->previous = 0;
    map->saved_index = MAP_PREVIOUS_UNKNOWN;
    return element;
}

void map_reset(HashMap* map) {
    if (!map) return;
    map->current = 0;
    map->bucket_index = -1;
}

// The first element from bucket `from` upward becomes current.
static void* scan_up(HashMap* map, int32_t from) {
    for (int32_t bucket = from; bucket < map->bucket_count; bucket++) {
        if (!map->buckets[bucket]) continue;
        map->current = map->buckets[bucket];
        map->bucket_index = bucket;
        return node_element(map->current);
    }
    map->current = 0;
    map->bucket_index = map->bucket_count;
    return 0;
}

void* map_next(HashMap* map) {
    if (!map) return 0;
    map->previous = map->current;
    map->saved_index = map->bucket_index;
    if (map->current) {
        if (map->current->next) {
            map->current = map->current->next;
            return node_element(map->current);
        }
        return scan_up(map, map->bucket_index + 1);
    }
    if (map->bucket_index != -1) return 0;
    return scan_up(map, 0);
}

// current := the element that iteration visits just before the head of `bucket`.
static void step_back_before(HashMap* map, int32_t bucket) {
    for (int32_t b = bucket - 1; b >= 0; b--) {
        MapNode* node = map->buckets[b];
        if (!node) continue;
        while (node->next) node = node->next;
        map->current = node;
        map->bucket_index = b;
        return;
    }
    map->current = 0;
    map->bucket_index = -1;
}

void* map_delete_current(HashMap* map) {
    if (!map || !map->current) return 0;
    MapNode* node = map->current;
    int32_t bucket = map->bucket_index;
    MapNode* before = 0;
    for (MapNode* walk = map->buckets[bucket]; walk != node; walk = walk->next) before = walk;
    if (before) before->next = node->next; else map->buckets[bucket] = node->next;

    if (map->saved_index != MAP_PREVIOUS_UNKNOWN) {
        map->current = map->previous;
        map->bucket_index = map->saved_index;
    } else if (before) {
        map->current = before;
        map->bucket_index = bucket;
    } else {
        step_back_before(map, bucket);
    }
    map->previous = 0;
    map->saved_index = MAP_PREVIOUS_UNKNOWN;
    map->count--;

    HeapFree(object_heap, 0, node->key);
    fields_release(node_element(node), map->descriptor);
    pool_release(map->pool, node);
    return map->current ? node_element(map->current) : 0;
}

void map_clear(HashMap* map) {
    if (!map) return;
    for (int32_t bucket = 0; bucket < map->bucket_count; bucket++) {
        MapNode* node = map->buckets[bucket];
        while (node) {
            MapNode* next = node->next;
            HeapFree(object_heap, 0, node->key);
            fields_release(node_element(node), map->descriptor);
            pool_release(map->pool, node);
            node = next;
        }
        map->buckets[bucket] = 0;
    }
    map_reset(map);
    map->previous = 0;
    map->saved_index = MAP_PREVIOUS_UNKNOWN;
    map->count = 0;
}

static void reverse_chain(MapNode** head) {
    MapNode* reversed = 0;
    MapNode* node = *head;
    while (node) {
        MapNode* next = node->next;
        node->next = reversed;
        reversed = node;
        node = next;
    }
    *head = reversed;
}

static int32_t copy_element(HashMap* destination, const HashMap* source, MapNode* node) {
    void* element = map_add(destination, node->key, 0);
    if (!element) return 0;
    if (record_copy(element, source->element_size, source->descriptor, node_element(node))) return 1;
    map_delete_current(destination);
    return 0;
}

int32_t map_copy(HashMap* source, HashMap* destination, int32_t clear_first) {
    if (!source || !destination || source == destination) return 0;
    if (source->element_size != destination->element_size || source->descriptor != destination->descriptor)
        return 0;
    if (clear_first) map_clear(destination);
    // Copies enter their buckets in front, so the source is walked backwards (each chain
    // turned round and back again): equal keys keep their order, and a search finds the
    // copy of the element it finds in the source. The source's cursor is not touched.
    int32_t ok = 1;
    for (int32_t bucket = source->bucket_count - 1; bucket >= 0 && ok; bucket--) {
        reverse_chain(&source->buckets[bucket]);
        for (MapNode* node = source->buckets[bucket]; node && ok; node = node->next)
            ok = copy_element(destination, source, node);
        reverse_chain(&source->buckets[bucket]);
    }
    return ok;
}

int32_t map_free(HashMap* map) {
    if (!map) return 0;
    map_clear(map);
    pool_delete(map->pool);
    HeapFree(object_heap, 0, map->buckets);
    if (map->owner && *map->owner == map) *map->owner = 0;
    HeapFree(object_heap, 0, map);
    return 1;
}

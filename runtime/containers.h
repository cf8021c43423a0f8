// Lists and hash maps: the runtime's generic containers of fixed-size records, and the
// field descriptors through which they look after the strings and nested containers
// inside their records. Nodes come from shared block pools (runtime/pool.h); headers,
// buckets and keys from object_heap.
//
// A list is bound to a pair of program variables side by side: the list variable, which
// holds the header, and the current-element variable, which always mirrors the cursor.
// A nested list inside a record therefore takes two words: its header and its current
// node. A nested map takes one word, its header.
#ifndef VANTOREL_RUNTIME_CONTAINERS_H
#define VANTOREL_RUNTIME_CONTAINERS_H

#include <stdint.h>

#include "runtime/pool.h"

// A descriptor is a sequence of words, a list of entries ended by FIELD_END. An entry
// starting with a code of 0 or more is a string variable at that byte offset; the other
// codes are followed by the words listed beside them.
typedef intptr_t FieldDescriptor;
enum FieldCode {
    FIELD_END = -1,
    FIELD_ARRAY = -2,          // count, offset, stride, sub-descriptor: embedded records
    FIELD_RECORD = -3,         // offset, size, sub-descriptor: one embedded record
    FIELD_DYNAMIC_ARRAY = -4,  // offset and four words
    FIELD_LIST = -5,           // offset, record size, sub-descriptor, element kind
    FIELD_MAP = -6,            // offset, element size, kind, sub-descriptor, bucket count
    FIELD_SHAPED_ARRAY = -7,   // offset, a count n, n words, then three words
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(FieldDescriptor) == 4, "descriptor words are 32-bit");
#endif

// A list element: two links, then the record.
struct ListNode {
    ListNode* next;
    ListNode* previous;
};

struct ListHeader;

// The program's list variable and its current-element companion.
struct ListVariables {
    ListHeader* list;
    ListNode* current;
};

struct ListHeader {
    ListNode* first;
    ListNode* last;
    ListNode* current;  // null: before the first element
    ListNode** current_variable;
    int32_t count;
    int32_t index;      // 0-based position of current
    const FieldDescriptor* descriptor;
    BlockPool* pool;
    ListVariables* owner_variable;
    int32_t node_size;  // record size plus the two links
    int32_t element_kind;
    uint8_t before_first;
    uint8_t needs_setup;
    uint8_t owns_variables;
};

// A map element: the next node of its bucket, the key's own copy, then the element.
struct MapNode {
    MapNode* next;
    char* key;
};

enum {
    MAP_NEEDS_SETUP = 0x2,
    // saved_index when the node before current is not known: it is looked up when needed.
    MAP_PREVIOUS_UNKNOWN = -2,
};

struct HashMap {
    MapNode* current;
    MapNode** buckets;
    MapNode* previous;     // the node before current in iteration order
    const FieldDescriptor* descriptor;
    int32_t bucket_index;  // bucket of current; -1 before the first element
    int32_t saved_index;   // bucket of previous
    int32_t element_size;
    int32_t kind;
    int32_t bucket_count;
    int32_t count;
    uint32_t flags;
    HashMap** owner;
    BlockPool* pool;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ListNode) == 8, "ListNode keeps its 32-bit layout");
static_assert(sizeof(ListVariables) == 8, "ListVariables keeps its 32-bit layout");
static_assert(sizeof(ListHeader) == 48, "ListHeader keeps its 32-bit layout");
static_assert(sizeof(MapNode) == 8, "MapNode keeps its 32-bit layout");
static_assert(sizeof(HashMap) == 52, "HashMap keeps its 32-bit layout");
#endif

// Create, copy and free for arrays, lists and maps, through which the descriptor walkers
// reach the container libraries. Array containers are not part of this program: their
// entries stay null.
struct ContainerOperations {
    void* create_array;
    void* copy_array;
    void* free_array;
    ListHeader* (*create_list)(int32_t record_size, ListVariables* owner,
                               const FieldDescriptor* descriptor, int32_t element_kind);
    int32_t (*copy_list)(ListHeader* source, ListHeader* destination, int32_t clear_first);
    void (*free_list)(ListHeader* list);
    HashMap* (*create_map)(int32_t element_size, int32_t kind, const FieldDescriptor* descriptor,
                           HashMap** owner, int32_t bucket_count);
    int32_t (*copy_map)(HashMap* source, HashMap* destination, int32_t clear_first);
    int32_t (*free_map)(HashMap* map);
};
extern ContainerOperations container_operations;

// Descriptor walkers. fields_supported is 1 when the walkers can look after every field
// the descriptor names (strings, embedded records and arrays of them, nested lists and
// maps); lists and maps refuse any other descriptor. fields_setup gives a zero-filled record its nested containers and
// returns 0 when one cannot be made (fields_release then frees those that were).
// record_copy returns 0 when a managed field could not be copied; that field is then
// null, and every managed field of the destination is its own. Given a descriptor that
// is not supported it returns 0 and leaves the destination untouched.
int32_t fields_supported(const FieldDescriptor* descriptor);
int32_t fields_need_setup(const FieldDescriptor* descriptor);
int32_t fields_setup(void* record, const FieldDescriptor* descriptor);
void fields_release(void* record, const FieldDescriptor* descriptor);
int32_t record_copy(void* destination, int32_t size, const FieldDescriptor* descriptor, const void* source);

// Lists. Every operation accepts a null header and then does nothing (or returns 0).
void list_library_init(void);
// Binds the new list to owner (or to a pair of its own when owner is null); the
// descriptor and element kind are kept for the records and for copies. Null when the
// descriptor is not supported.
ListHeader* list_new(int32_t record_size, ListVariables* owner, const FieldDescriptor* descriptor,
                     int32_t element_kind);
void list_free(ListHeader* list);
void list_clear(ListHeader* list);
// Inserts a zero-filled record after the current element and makes it current.
void* list_add_element(ListHeader* list);
void list_reset(ListHeader* list);
// The record after the cursor, or null at the end (the cursor then stays on the last).
void* list_next_element(ListHeader* list);
// Appends deep copies of the source's records; 0 when either list is missing, when both
// are the same list, when their records differ in size or descriptor, or when memory runs
// out (every record already appended is then complete).
int32_t list_copy(ListHeader* source, ListHeader* destination, int32_t clear_first);

// Hash maps with text keys (null reads as ""). Every operation accepts a null map.
void map_library_init(void);
uint32_t key_hash(const char* key);
// Frees the map that *owner holds first. Fewer than one bucket means one. Null when the
// descriptor is not supported.
HashMap* map_new(int32_t element_size, int32_t kind, const FieldDescriptor* descriptor,
                 HashMap** owner, int32_t bucket_count);
void* map_find(HashMap* map, const char* key);
// With reuse and the key present, the same element comes back zero-filled again;
// otherwise a new element is added in front of its bucket. Null when the element or its
// fields cannot be made; the map then holds what it held.
void* map_add(HashMap* map, const char* key, int32_t reuse);
void map_reset(HashMap* map);
void* map_next(HashMap* map);
// Removes current; the cursor moves to the element before it, so that map_next goes on
// with the element after the removed one. Returns the new current element, or null.
void* map_delete_current(HashMap* map);
void map_clear(HashMap* map);
// Adds deep copies of the source's elements, keeping the source's cursor; 0 under the same
// conditions as list_copy.
int32_t map_copy(HashMap* source, HashMap* destination, int32_t clear_first);
int32_t map_free(HashMap* map);

#endif

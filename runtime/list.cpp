// Doubly linked lists with a cursor, the field descriptor walkers that every container
// uses on its records, and the container operations table that lets those walkers reach
// the list and map libraries.
#include <string.h>

#include "runtime/containers.h"
#include "runtime/memory.h"
#include "runtime/strings.h"

ContainerOperations container_operations;

// ---- Field descriptors ----

// Words of the entry at e, its code included; 0 for the end and for codes not known.
static int32_t entry_words(const FieldDescriptor* e) {
    switch (e[0]) {
    case FIELD_END: return 0;
    case FIELD_ARRAY: return 5;
    case FIELD_RECORD: return 4;
    case FIELD_DYNAMIC_ARRAY: return 6;
    case FIELD_LIST: return 5;
    case FIELD_MAP: return 6;
    case FIELD_SHAPED_ARRAY: return e[2] >= 0 ? 6 + (int32_t)e[2] : 0;
    default: return e[0] >= 0 ? 1 : 0;
    }
}

static const FieldDescriptor* sub_descriptor(FieldDescriptor word) {
    return (const FieldDescriptor*)word;
}

static char* at(void* record, FieldDescriptor offset) { return (char*)record + offset; }
static const char* at(const void* record, FieldDescriptor offset) { return (const char*)record + offset; }

int32_t fields_need_setup(const FieldDescriptor* descriptor) {
    if (!descriptor) return 0;
    for (const FieldDescriptor* e = descriptor; int32_t words = entry_words(e); e += words) {
        switch (e[0]) {
        case FIELD_ARRAY:
            if (fields_need_setup(sub_descriptor(e[4]))) return 1;
            break;
        case FIELD_RECORD:
            if (fields_need_setup(sub_descriptor(e[3]))) return 1;
            break;
        case FIELD_DYNAMIC_ARRAY:
        case FIELD_LIST:
        case FIELD_MAP:
        case FIELD_SHAPED_ARRAY:
            return 1;
        }
    }
    return 0;
}

// Embedded records deeper than this are taken for a descriptor that names itself.
enum { FIELDS_DEEPEST = 32 };

static int32_t fields_supported_below(const FieldDescriptor* descriptor, int32_t depth) {
    if (!descriptor) return 1;
    if (depth > FIELDS_DEEPEST) return 0;
    for (const FieldDescriptor* e = descriptor; e[0] != FIELD_END; e += entry_words(e)) {
        switch (e[0]) {
        case FIELD_ARRAY:
            if (!fields_supported_below(sub_descriptor(e[4]), depth + 1)) return 0;
            break;
        case FIELD_RECORD:
            if (!fields_supported_below(sub_descriptor(e[3]), depth + 1)) return 0;
            break;
        case FIELD_LIST:
        case FIELD_MAP:
            // Their own descriptors are judged when the nested container is made.
            break;
        default:
            // Array containers have no operations here, and an unknown code would end
            // every walk before the fields behind it.
            if (e[0] < 0) return 0;
        }
    }
    return 1;
}

int32_t fields_supported(const FieldDescriptor* descriptor) {
    return fields_supported_below(descriptor, 0);
}

int32_t fields_setup(void* record, const FieldDescriptor* descriptor) {
    if (!descriptor) return 1;
    const ContainerOperations& ops = container_operations;
    for (const FieldDescriptor* e = descriptor; int32_t words = entry_words(e); e += words) {
        switch (e[0]) {
        case FIELD_ARRAY:
            for (FieldDescriptor i = 0; i < e[1]; i++)
                if (!fields_setup(at(record, e[2] + i * e[3]), sub_descriptor(e[4]))) return 0;
            break;
        case FIELD_RECORD:
            if (!fields_setup(at(record, e[1]), sub_descriptor(e[3]))) return 0;
            break;
        case FIELD_LIST:
            if (!ops.create_list ||
                !ops.create_list((int32_t)e[2], (ListVariables*)at(record, e[1]), sub_descriptor(e[3]),
                                 (int32_t)e[4]))
                return 0;
            break;
        case FIELD_MAP:
            if (!ops.create_map ||
                !ops.create_map((int32_t)e[2], (int32_t)e[3], sub_descriptor(e[4]),
                                (HashMap**)at(record, e[1]), (int32_t)e[5]))
                return 0;
            break;
        }
        // Strings start null; array fields are never made in this program.
    }
    return 1;
}

void fields_release(void* record, const FieldDescriptor* descriptor) {
    if (!descriptor) return;
    const ContainerOperations& ops = container_operations;
    for (const FieldDescriptor* e = descriptor; int32_t words = entry_words(e); e += words) {
        switch (e[0]) {
        case FIELD_ARRAY:
            for (FieldDescriptor i = 0; i < e[1]; i++)
                fields_release(at(record, e[2] + i * e[3]), sub_descriptor(e[4]));
            break;
        case FIELD_RECORD:
            fields_release(at(record, e[1]), sub_descriptor(e[3]));
            break;
        case FIELD_LIST: {
            ListVariables* field = (ListVariables*)at(record, e[1]);
            if (field->list && ops.free_list) ops.free_list(field->list);
            field->list = 0;
            field->current = 0;
            break;
        }
        case FIELD_MAP: {
            HashMap** field = (HashMap**)at(record, e[1]);
            if (*field && ops.free_map) ops.free_map(*field);
            *field = 0;
            break;
        }
        case FIELD_DYNAMIC_ARRAY:
        case FIELD_SHAPED_ARRAY:
            break;
        default: {
            char** field = (char**)at(record, e[0]);
            str_release(*field);
            *field = 0;
        }
        }
    }
}

static int32_t copy_list_field(ListVariables* field, ListHeader* source) {
    const ContainerOperations& ops = container_operations;
    if (!ops.create_list || !ops.copy_list) return 0;
    ListHeader* copy = ops.create_list(source->node_size - (int32_t)sizeof(ListNode), field,
                                       source->descriptor, source->element_kind);
    return copy ? ops.copy_list(source, copy, 0) : 0;
}

static int32_t copy_map_field(HashMap** field, HashMap* source) {
    const ContainerOperations& ops = container_operations;
    if (!ops.create_map || !ops.copy_map) return 0;
    HashMap* copy = ops.create_map(source->element_size, source->kind, source->descriptor, field,
                                   source->bucket_count);
    return copy ? ops.copy_map(source, copy, 0) : 0;
}

// The destination holds the source's bytes: give each managed field a copy of its own.
// Every field is first cut loose from the source, so a failure leaves it null, never
// shared; the walk goes on past a failure for the same reason.
static int32_t fields_copy(void* destination, const FieldDescriptor* descriptor, const void* source) {
    if (!descriptor) return 1;
    int32_t ok = 1;
    for (const FieldDescriptor* e = descriptor; int32_t words = entry_words(e); e += words) {
        switch (e[0]) {
        case FIELD_ARRAY:
            for (FieldDescriptor i = 0; i < e[1]; i++) {
                FieldDescriptor offset = e[2] + i * e[3];
                if (!fields_copy(at(destination, offset), sub_descriptor(e[4]), at(source, offset))) ok = 0;
            }
            break;
        case FIELD_RECORD:
            if (!fields_copy(at(destination, e[1]), sub_descriptor(e[3]), at(source, e[1]))) ok = 0;
            break;
        case FIELD_LIST: {
            ListVariables* field = (ListVariables*)at(destination, e[1]);
            field->list = 0;
            field->current = 0;
            ListHeader* from = ((const ListVariables*)at(source, e[1]))->list;
            if (from && !copy_list_field(field, from)) ok = 0;
            break;
        }
        case FIELD_MAP: {
            HashMap** field = (HashMap**)at(destination, e[1]);
            *field = 0;
            HashMap* from = *(HashMap* const*)at(source, e[1]);
            if (from && !copy_map_field(field, from)) ok = 0;
            break;
        }
        case FIELD_DYNAMIC_ARRAY:
        case FIELD_SHAPED_ARRAY:
            // Never shared, and never reported as copied.
            *(void**)at(destination, e[1]) = 0;
            ok = 0;
            break;
        default: {
            char** field = (char**)at(destination, e[0]);
            *field = 0;
            const char* text = *(char* const*)at(source, e[0]);
            if (text) {
                str_duplicate(field, text);
                if (!*field) ok = 0;
            }
        }
        }
    }
    return ok;
}

int32_t record_copy(void* destination, int32_t size, const FieldDescriptor* descriptor, const void* source) {
    if (destination == source || size <= 0) return 1;
    // A field the walkers cannot copy would be dropped or shared: nothing is touched.
    if (!fields_supported(descriptor)) return 0;
    fields_release(destination, descriptor);
    memcpy(destination, source, (size_t)size);
    return fields_copy(destination, descriptor, source);
}

// ---- Lists ----

static void* node_record(ListNode* node) { return node + 1; }

void list_library_init(void) {
    container_operations.create_list = list_new;
    container_operations.copy_list = list_copy;
    container_operations.free_list = list_free;
}

ListHeader* list_new(int32_t record_size, ListVariables* owner, const FieldDescriptor* descriptor,
                     int32_t element_kind) {
    if (record_size < 0 || record_size > INT32_MAX - (int32_t)sizeof(ListNode)) return 0;
    if (!fields_supported(descriptor)) return 0;
    ListHeader* list = (ListHeader*)HeapAlloc(object_heap, 0, sizeof(ListHeader));
    if (!list) return 0;
    ListVariables* variables = owner;
    if (!variables) {
        variables = (ListVariables*)HeapAlloc(object_heap, 0, sizeof(ListVariables));
        if (!variables) {
            HeapFree(object_heap, 0, list);
            return 0;
        }
    }
    list->node_size = record_size + (int32_t)sizeof(ListNode);
    list->pool = pool_new(list->node_size, 16, 65536, POOL_SHARED);
    if (!list->pool) {
        if (!owner) HeapFree(object_heap, 0, variables);
        HeapFree(object_heap, 0, list);
        return 0;
    }
    list->first = 0;
    list->last = 0;
    list->current = 0;
    list->current_variable = &variables->current;
    list->count = 0;
    list->index = 0;
    list->descriptor = descriptor;
    list->owner_variable = variables;
    list->element_kind = element_kind;
    list->before_first = 1;
    list->needs_setup = (uint8_t)fields_need_setup(descriptor);
    list->owns_variables = owner ? 0 : 1;
    variables->list = list;
    variables->current = 0;
    return list;
}

static void set_current(ListHeader* list, ListNode* node) {
    list->current = node;
    *list->current_variable = node;
}

void* list_add_element(ListHeader* list) {
    if (!list) return 0;
    ListNode* node = (ListNode*)pool_alloc(list->pool);
    if (!node) return 0;
    memset(node, 0, (size_t)list->node_size);
    if (list->needs_setup && !fields_setup(node_record(node), list->descriptor)) {
        fields_release(node_record(node), list->descriptor);
        pool_release(list->pool, node);
        return 0;
    }
    list->count++;
    ListNode* current = list->current;
    if (!current) {
        node->next = list->first;
        if (list->first) list->first->previous = node;
        list->index = 0;
        list->before_first = 0;
    } else {
        node->previous = current;
        node->next = current->next;
        if (current->next) current->next->previous = node;
        current->next = node;
        list->index++;
    }
    if (!node->previous) list->first = node;
    if (!node->next) list->last = node;
    set_current(list, node);
    return node_record(node);
}

// Takes the current element out again; the cursor goes back to the element before it.
static void list_drop_current(ListHeader* list) {
    ListNode* node = list->current;
    ListNode* previous = node->previous;
    if (previous) previous->next = node->next; else list->first = node->next;
    if (node->next) node->next->previous = previous; else list->last = previous;
    list->count--;
    if (previous) {
        list->index--;
    } else {
        list->index = 0;
        list->before_first = 1;
    }
    set_current(list, previous);
    fields_release(node_record(node), list->descriptor);
    pool_release(list->pool, node);
}

void list_reset(ListHeader* list) {
    if (!list) return;
    list->before_first = 1;
    set_current(list, 0);
}

void* list_next_element(ListHeader* list) {
    if (!list) return 0;
    void* result = 0;
    if (list->current) {
        if (list->current->next) {
            list->index++;
            list->current = list->current->next;
            result = node_record(list->current);
        }
    } else {
        list->current = list->first;
        list->index = 0;
        if (list->current) {
            list->before_first = 0;
            result = node_record(list->current);
        }
    }
    *list->current_variable = list->current;
    return result;
}

static void release_nodes(ListHeader* list) {
    ListNode* node = list->first;
    while (node) {
        ListNode* next = node->next;
        fields_release(node_record(node), list->descriptor);
        pool_release(list->pool, node);
        node = next;
    }
    list->first = 0;
    list->last = 0;
    list->current = 0;
    list->count = 0;
    list->before_first = 1;
}

void list_clear(ListHeader* list) {
    if (!list) return;
    release_nodes(list);
    *list->current_variable = 0;
}

void list_free(ListHeader* list) {
    if (!list) return;
    release_nodes(list);
    pool_delete(list->pool);
    // The variables may already hold a newer list; they stay as that one left them.
    ListVariables* variables = list->owner_variable;
    if (variables->list == list) {
        variables->list = 0;
        variables->current = 0;
    }
    if (list->owns_variables) HeapFree(object_heap, 0, variables);
    HeapFree(object_heap, 0, list);
}

int32_t list_copy(ListHeader* source, ListHeader* destination, int32_t clear_first) {
    if (!source || !destination || source == destination) return 0;
    if (source->node_size != destination->node_size || source->descriptor != destination->descriptor)
        return 0;
    if (clear_first) list_clear(destination);
    // Copies go behind the last element, wherever the cursor stood.
    if (destination->last) {
        set_current(destination, destination->last);
        destination->index = destination->count - 1;
        destination->before_first = 0;
    }
    int32_t size = source->node_size - (int32_t)sizeof(ListNode);
    for (ListNode* node = source->first; node; node = node->next) {
        void* record = list_add_element(destination);
        if (!record) return 0;
        if (!record_copy(record, size, source->descriptor, node_record(node))) {
            list_drop_current(destination);
            return 0;
        }
    }
    return 1;
}

// Lists: the cursor and its companion variable, clearing and freeing, copies, shared
// node pools; the field descriptor walkers on records with strings, nested lists and
// maps, embedded records and arrays; and every allocation failure on the way.
#include <gtest/gtest.h>

#include <stddef.h>
#include <string.h>

#include <string>
#include <vector>

#include "runtime/containers.h"
#include "tests/support/heap_faults.h"
#include "tests/support/string_vars.h"

namespace {

struct Named {
    char* name;
    int32_t number;
};
const FieldDescriptor named_fields[] = {offsetof(Named, name), FIELD_END};

struct Inner {
    int32_t weight;
    char* label;
};
const FieldDescriptor inner_fields[] = {offsetof(Inner, label), FIELD_END};

enum { INNER_KIND = 7, TAG_KIND = 8 };

// Every kind of managed field, with plain bytes between them.
struct Outer {
    int32_t id;
    char* title;
    ListVariables children;  // a nested list takes its header and its current node
    int32_t after_children;
    HashMap* tags;
    Inner pair[2];
    Inner single;
    int32_t tail;
};
const FieldDescriptor outer_fields[] = {
    offsetof(Outer, title),
    FIELD_LIST, offsetof(Outer, children), sizeof(Inner), (FieldDescriptor)inner_fields, INNER_KIND,
    FIELD_MAP, offsetof(Outer, tags), sizeof(Inner), TAG_KIND, (FieldDescriptor)inner_fields, 16,
    FIELD_ARRAY, 2, offsetof(Outer, pair), sizeof(Inner), (FieldDescriptor)inner_fields,
    FIELD_RECORD, offsetof(Outer, single), sizeof(Inner), (FieldDescriptor)inner_fields,
    FIELD_END,
};

Named* add_named(ListHeader* list, const char* name, int32_t number) {
    Named* record = (Named*)list_add_element(list);
    if (record) {
        set_text(&record->name, name);
        record->number = number;
    }
    return record;
}

std::vector<std::string> names(ListHeader* list) {
    std::vector<std::string> result;
    for (ListNode* node = list->first; node; node = node->next) {
        const char* name = ((Named*)(node + 1))->name;
        result.push_back(name ? name : "(none)");
    }
    return result;
}

// The links agree both ways, and first, last and count agree with them.
bool well_linked(const ListHeader* list) {
    int32_t count = 0;
    const ListNode* previous = 0;
    for (const ListNode* node = list->first; node; node = node->next, count++) {
        if (node->previous != previous) return false;
        previous = node;
    }
    return previous == list->last && count == list->count;
}

// Fills a fresh Outer (its containers set up) with texts and nested elements made from n.
void fill_outer(Outer* o, int32_t n) {
    std::string base = "outer" + std::to_string(n);
    *o = {n, o->title, o->children, n * 3, o->tags, {{20, 0}, {21, 0}}, {30, 0}, -n};
    set_text(&o->title, base.c_str());
    for (int32_t i = 0; i < 3; i++) {
        std::string suffix = std::to_string(i);
        Inner* child = (Inner*)list_add_element(o->children.list);
        child->weight = i;
        set_text(&child->label, (base + "/child" + suffix).c_str());
        Inner* tag = (Inner*)map_add(o->tags, (base + "#" + suffix).c_str(), 0);
        tag->weight = 10 + i;
        set_text(&tag->label, (base + "/tag" + suffix).c_str());
        set_text(i < 2 ? &o->pair[i].label : &o->single.label, (base + "/field" + suffix).c_str());
    }
}

// Same text held in a block of its own (or both missing).
bool own_copy(const char* copy, const char* original) {
    if (!original) return !copy;
    return copy && copy != original && strcmp(copy, original) == 0;
}

bool same_inner(const Inner* copy, const Inner* original) {
    return copy->weight == original->weight && own_copy(copy->label, original->label);
}

// The copy equals the original in every byte and text, and shares no block with it.
bool deep_copy_of(const Outer* copy, const Outer* original) {
    if (copy->id != original->id || copy->after_children != original->after_children ||
        copy->tail != original->tail || !own_copy(copy->title, original->title) ||
        !same_inner(&copy->pair[0], &original->pair[0]) || !same_inner(&copy->pair[1], &original->pair[1]) ||
        !same_inner(&copy->single, &original->single))
        return false;
    ListHeader* a = copy->children.list;
    ListHeader* b = original->children.list;
    // The copy's current-node word belongs to the copy's own list.
    if (!a || a == b || a->count != b->count || a->element_kind != INNER_KIND ||
        a->owner_variable != &copy->children || copy->children.current != a->current)
        return false;
    for (ListNode *x = a->first, *y = b->first; x; x = x->next, y = y->next)
        if (!same_inner((Inner*)(x + 1), (Inner*)(y + 1))) return false;
    HashMap* m = copy->tags;
    HashMap* n = original->tags;
    if (!m || m == n || m->count != n->count || m->owner != &copy->tags || m->kind != TAG_KIND) return false;
    for (int32_t bucket = 0; bucket < n->bucket_count; bucket++)
        for (MapNode* node = n->buckets[bucket]; node; node = node->next) {
            Inner* found = (Inner*)map_find(m, node->key);
            if (!found || !same_inner(found, (Inner*)(node + 1))) return false;
        }
    return true;
}

class List : public testing::Test {
  protected:
    ListVariables vars = {0, 0};
    int32_t live = 0;
    void SetUp() override { live = heap_live_blocks(); }
    ListHeader* make_named(ListVariables* owner) { return list_new(sizeof(Named), owner, named_fields, 8); }
    // Everything the test took has gone back to the heaps.
    void expect_all_given_back() { EXPECT_EQ(heap_live_blocks(), live); }
};

}  // namespace

TEST_F(List, NewListIsEmptyAndBoundToItsVariables) {
    for (ListVariables* owner : {&vars, (ListVariables*)nullptr}) {
        ListHeader* list = make_named(owner);
        ASSERT_NE(list, nullptr);
        ListVariables* pair = owner ? owner : list->owner_variable;
        EXPECT_EQ(list->owns_variables, owner ? 0 : 1);
        EXPECT_EQ(pair->list, list);
        EXPECT_EQ(list->current_variable, &pair->current);
        EXPECT_EQ(list->node_size, (int32_t)(sizeof(Named) + sizeof(ListNode)));
        EXPECT_EQ(list->before_first, 1);
        EXPECT_EQ(list->needs_setup, 0);
        EXPECT_EQ(list_next_element(list), nullptr);
        EXPECT_EQ(pair->current, nullptr);
        Named* a = add_named(list, "a", 1);
        EXPECT_EQ((void*)(pair->current + 1), (void*)a);
        list_free(list);
    }
    expect_all_given_back();
}

TEST_F(List, AddingAfterTheLastAppendsAndIterationWalksInOrder) {
    ListHeader* list = make_named(&vars);
    for (const char* name : {"A", "B", "C"}) add_named(list, name, 0);
    list_reset(list);
    EXPECT_EQ(vars.current, nullptr);
    struct { const char* name; int32_t index; } walk[] = {{"A", 0}, {"B", 1}, {"C", 2}};
    for (auto step : walk) {
        Named* record = (Named*)list_next_element(list);
        ASSERT_NE(record, nullptr);
        EXPECT_STREQ(record->name, step.name);
        EXPECT_EQ(list->index, step.index);
        EXPECT_EQ((void*)(vars.current + 1), (void*)record);
    }
    // At the end the cursor stays on the last element, so the next add appends.
    EXPECT_EQ(list_next_element(list), nullptr);
    EXPECT_EQ(list->index, 2);
    EXPECT_STREQ(((Named*)(vars.current + 1))->name, "C");
    add_named(list, "E", 0);
    EXPECT_EQ(names(list), (std::vector<std::string>{"A", "B", "C", "E"}));
    EXPECT_TRUE(well_linked(list));
    list_free(list);
    expect_all_given_back();
}

TEST_F(List, AddingInsertsAfterTheCursor) {
    struct { int32_t steps_after_reset; std::vector<std::string> expected; } cases[] = {
        {0, {"D", "A", "B", "C"}}, {1, {"A", "D", "B", "C"}},
        {2, {"A", "B", "D", "C"}}, {3, {"A", "B", "C", "D"}},
    };
    for (auto& c : cases) {
        ListHeader* list = make_named(&vars);
        for (const char* name : {"A", "B", "C"}) add_named(list, name, 0);
        list_reset(list);
        for (int32_t i = 0; i < c.steps_after_reset; i++) list_next_element(list);
        Named* d = add_named(list, "D", 0);
        EXPECT_EQ(names(list), c.expected) << c.steps_after_reset;
        EXPECT_EQ(list->index, c.steps_after_reset);
        EXPECT_EQ((void*)(vars.current + 1), (void*)d);
        EXPECT_TRUE(well_linked(list));
        list_free(list);
    }
    expect_all_given_back();
}

TEST_F(List, ClearFreesEveryStringAndStartsAgain) {
    ListHeader* list = make_named(&vars);
    int32_t empty_list = heap_live_blocks();
    for (int32_t i = 0; i < 40; i++) add_named(list, "some name", i);
    EXPECT_GE(heap_live_blocks(), empty_list + 40);  // a block for each name at least
    list_clear(list);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->first, nullptr);
    EXPECT_EQ(list->last, nullptr);
    EXPECT_EQ(vars.current, nullptr);
    EXPECT_EQ(heap_live_blocks(), empty_list);
    add_named(list, "new", 1);
    EXPECT_EQ(names(list), std::vector<std::string>{"new"});
    list_free(list);
    expect_all_given_back();
}

TEST_F(List, FreeClearsTheVariablesOnlyWhileTheyHoldItsList) {
    ListHeader* older = make_named(&vars);
    add_named(older, "old", 1);
    ListHeader* newer = make_named(&vars);
    add_named(newer, "new", 2);
    list_free(older);
    EXPECT_EQ(vars.list, newer);
    EXPECT_EQ(vars.current, newer->current);
    list_free(newer);
    EXPECT_EQ(vars.list, nullptr);
    EXPECT_EQ(vars.current, nullptr);
    expect_all_given_back();
}

TEST_F(List, MissingListsAndImpossibleSizesAreRefused) {
    list_free(nullptr);
    list_clear(nullptr);
    list_reset(nullptr);
    EXPECT_EQ(list_add_element(nullptr), nullptr);
    EXPECT_EQ(list_next_element(nullptr), nullptr);
    EXPECT_EQ(list_new(-1, &vars, nullptr, 0), nullptr);
    EXPECT_EQ(list_new(INT32_MAX - 4, &vars, nullptr, 0), nullptr);
    EXPECT_EQ(vars.list, nullptr);
    expect_all_given_back();
}

TEST_F(List, ListsOfEqualNodeSizeShareOnePool) {
    ListHeader* first = make_named(&vars);
    ListHeader* second = list_new(sizeof(Named), nullptr, nullptr, 3);
    ListHeader* bigger = list_new(sizeof(Named) + 4, nullptr, nullptr, 3);
    EXPECT_EQ(first->pool, second->pool);
    EXPECT_NE(first->pool, bigger->pool);
    add_named(first, "one", 1);
    list_free(first);
    // The second list keeps using the pool after the first has gone.
    for (int32_t i = 0; i < 100; i++) ((Named*)list_add_element(second))->number = i;
    int32_t i = 0;
    list_reset(second);
    while (Named* n = (Named*)list_next_element(second)) EXPECT_EQ(n->number, i++);
    EXPECT_EQ(i, 100);
    list_free(second);
    list_free(bigger);
    expect_all_given_back();
}

TEST_F(List, ThousandsOfElementsComeAndGo) {
    ListHeader* list = make_named(&vars);
    for (int round = 0; round < 2; round++) {
        for (int32_t i = 0; i < 5000; i++) ASSERT_NE(add_named(list, std::to_string(i).c_str(), i), nullptr);
        EXPECT_EQ(list->count, 5000);
        EXPECT_TRUE(well_linked(list));
        list_reset(list);
        int32_t i = 0;
        while (Named* n = (Named*)list_next_element(list)) {
            ASSERT_EQ(n->number, i);
            ASSERT_EQ(std::to_string(i++), n->name);
        }
        EXPECT_EQ(i, 5000);
        list_clear(list);
        // Every chunk went back with its last node.
        EXPECT_EQ(list->pool->total_blocks, 0);
    }
    list_free(list);
    expect_all_given_back();
}

TEST_F(List, CopyAppendsOwnStringsBehindTheLastWhereverTheCursorIs) {
    struct { int32_t clear_first; bool reset; std::vector<std::string> expected; } cases[] = {
        {0, false, {"x", "y", "a", "(none)"}},
        {0, true, {"x", "y", "a", "(none)"}},
        {1, true, {"a", "(none)"}},
    };
    for (auto& c : cases) {
        ListVariables copy_vars = {0, 0};
        ListHeader* source = make_named(&vars);
        ListHeader* destination = make_named(&copy_vars);
        add_named(source, "a", 0);
        list_add_element(source);
        add_named(destination, "x", 0);
        add_named(destination, "y", 0);
        if (c.reset) list_reset(destination);
        EXPECT_EQ(list_copy(source, destination, c.clear_first), 1);
        EXPECT_EQ(names(destination), c.expected);
        EXPECT_EQ(copy_vars.current, destination->last);
        EXPECT_EQ(destination->index, destination->count - 1);
        EXPECT_TRUE(well_linked(destination));
        Named* copied = (Named*)(destination->last->previous + 1);
        EXPECT_TRUE(own_copy(copied->name, ((Named*)(source->first + 1))->name));
        list_free(source);
        list_free(destination);
    }
    expect_all_given_back();
}

TEST_F(List, CopyRefusesMissingSameAndMismatchedLists) {
    ListHeader* source = make_named(&vars);
    add_named(source, "a", 0);
    ListHeader* other_size = list_new(sizeof(Named) + 4, nullptr, named_fields, 8);
    ListHeader* other_fields = list_new(sizeof(Named), nullptr, nullptr, 8);
    struct { ListHeader* from; ListHeader* to; } cases[] = {
        {nullptr, source}, {source, nullptr}, {source, source}, {source, other_size}, {source, other_fields},
    };
    for (auto c : cases) EXPECT_EQ(list_copy(c.from, c.to, 1), 0);
    EXPECT_EQ(names(source), std::vector<std::string>{"a"});
    EXPECT_EQ(other_size->count + other_fields->count, 0);
    for (ListHeader* list : {source, other_size, other_fields}) list_free(list);
    expect_all_given_back();
}

// Lists and maps take only descriptors whose every field the walkers look after (a mend:
// array containers have no operations here, and an unknown code ends every walk early).
TEST(FieldDescriptor, NeedsSetupOnlyForContainersAndContainersTakeOnlyWhatTheWalkersKnow) {
    const FieldDescriptor strings[] = {0, 4, FIELD_END};
    const FieldDescriptor with_list[] = {FIELD_LIST, 0, 8, 0, 1, FIELD_END};
    const FieldDescriptor with_map[] = {4, FIELD_MAP, 8, 8, 0, 0, 16, FIELD_END};
    const FieldDescriptor with_dynamic_array[] = {FIELD_DYNAMIC_ARRAY, 0, 1, 2, 3, 4, FIELD_END};
    const FieldDescriptor with_shaped_array[] = {FIELD_SHAPED_ARRAY, 0, 2, 5, 5, 1, 2, 3, FIELD_END};
    const FieldDescriptor record_of_strings[] = {FIELD_RECORD, 0, 8, (FieldDescriptor)strings, FIELD_END};
    const FieldDescriptor record_with_map[] = {0, FIELD_RECORD, 4, 12, (FieldDescriptor)with_map, FIELD_END};
    const FieldDescriptor array_of_strings[] = {FIELD_ARRAY, 3, 0, 8, (FieldDescriptor)strings, FIELD_END};
    const FieldDescriptor array_with_list[] = {FIELD_ARRAY, 3, 0, 8, (FieldDescriptor)with_list, FIELD_END};
    const FieldDescriptor unknown_code[] = {0, -8, 4, FIELD_END};
    const FieldDescriptor record_with_array[] = {FIELD_RECORD, 0, 8, (FieldDescriptor)with_dynamic_array, FIELD_END};
    struct { const FieldDescriptor* descriptor; int32_t expected; int32_t taken; } cases[] = {
        {nullptr, 0, 1}, {named_fields, 0, 1}, {strings, 0, 1}, {with_list, 1, 1}, {with_map, 1, 1},
        {with_dynamic_array, 1, 0}, {with_shaped_array, 1, 0}, {record_of_strings, 0, 1},
        {record_with_map, 1, 1}, {array_of_strings, 0, 1}, {array_with_list, 1, 1}, {outer_fields, 1, 1},
        {unknown_code, 0, 0}, {record_with_array, 1, 0},
    };
    int i = 0;
    for (auto c : cases) {
        ListHeader* list = list_new(64, nullptr, c.descriptor, 0);
        HashMap* map = map_new(64, 0, c.descriptor, nullptr, 4);
        EXPECT_EQ(fields_need_setup(c.descriptor), c.expected) << "case " << i;
        EXPECT_EQ((list != nullptr) + (map != nullptr), 2 * c.taken) << "case " << i++;
        list_free(list);
        map_free(map);
    }
}

TEST_F(List, NestedRecordsAreMadeCopiedAndFreedWholeSharingNothing) {
    ListVariables copy_vars = {0, 0};
    ListHeader* source = list_new(sizeof(Outer), &vars, outer_fields, 1);
    ListHeader* copy = list_new(sizeof(Outer), &copy_vars, outer_fields, 1);
    for (int32_t i = 0; i < 4; i++) {
        Outer* o = (Outer*)list_add_element(source);
        ASSERT_NE(o->children.list, nullptr);
        EXPECT_EQ(o->children.list->owner_variable, &o->children);
        EXPECT_EQ(o->children.list->element_kind, INNER_KIND);
        ASSERT_NE(o->tags, nullptr);
        EXPECT_EQ(o->tags->owner, &o->tags);
        EXPECT_EQ(o->tags->bucket_count, 16);
        fill_outer(o, i);
    }
    ASSERT_EQ(list_copy(source, copy, 1), 1);
    ASSERT_EQ(copy->count, 4);
    ListNode* s = source->first;
    for (ListNode* c = copy->first; c; c = c->next, s = s->next)
        EXPECT_TRUE(deep_copy_of((Outer*)(c + 1), (Outer*)(s + 1)));
    // Freeing the source leaves the copy whole.
    list_free(source);
    Outer* first = (Outer*)(copy->first + 1);
    EXPECT_STREQ(first->title, "outer0");
    EXPECT_STREQ(((Inner*)(first->children.list->first + 1))->label, "outer0/child0");
    EXPECT_STREQ(((Inner*)map_find(first->tags, "outer0#2"))->label, "outer0/tag2");
    list_free(copy);
    expect_all_given_back();
}

// A mend: a copy over a field that cannot be copied is refused and touches nothing, so
// neither that field nor a string behind it is dropped or shared.
TEST(FieldDescriptor, CopiesOverFieldsTheWalkersDoNotKnowAreRefused) {
    struct WithArray {
        void* array;
        char* text;
    };
    const FieldDescriptor array[] = {FIELD_DYNAMIC_ARRAY, 0, 1, 2, 3, 4, offsetof(WithArray, text), FIELD_END};
    const FieldDescriptor unknown[] = {-8, offsetof(WithArray, text), FIELD_END};
    int marker = 0;
    char text[] = "text";
    for (const FieldDescriptor* fields : {array, unknown}) {
        WithArray from = {&marker, text};
        WithArray to = {0, 0};
        EXPECT_EQ(record_copy(&to, sizeof to, fields, &from), 0);
        EXPECT_EQ(to.array, nullptr);
        EXPECT_EQ(to.text, nullptr);
    }
}

TEST_F(List, FailedCreationLeavesNothingBehind) {
    for (bool own_pair : {false, true}) {
        sweep_failing_allocations([&](int32_t k) {
            heap_faults_arm(k, 1);
            ListHeader* list = make_named(own_pair ? nullptr : &vars);
            int32_t asked = heap_faults_disarm();
            if (asked >= k) {
                EXPECT_EQ(list, nullptr) << k;
                EXPECT_EQ(vars.list, nullptr) << k;
                expect_all_given_back();
            }
            list_free(list);
            return asked;
        });
    }
    expect_all_given_back();
}

TEST_F(List, FailedAddLeavesTheListAsItWas) {
    ListHeader* list = list_new(sizeof(Outer), &vars, outer_fields, 1);
    for (int32_t i = 0; i < 16; i++) fill_outer((Outer*)list_add_element(list), i);
    // The pool is full, so the next node needs a chunk; two failures in a row defeat the
    // pool's one-block fallback, and the pool itself runs dry.
    ASSERT_EQ(list->pool->available_chunks, nullptr);
    int32_t before = heap_live_blocks();
    ListNode* current = list->current;
    sweep_failing_allocations([&](int32_t k) {
        heap_faults_arm(k, 2);
        void* added = list_add_element(list);
        int32_t asked = heap_faults_disarm();
        if (asked >= k) {
            EXPECT_EQ(added, nullptr) << k;
            EXPECT_EQ(list->count, 16) << k;
            EXPECT_EQ(list->current, current) << k;
            EXPECT_EQ(vars.current, current) << k;
            EXPECT_TRUE(well_linked(list)) << k;
            EXPECT_EQ(heap_live_blocks(), before) << k;
        } else {
            EXPECT_NE(added, nullptr);
        }
        return asked;
    });
    list_free(list);
    expect_all_given_back();
}

TEST_F(List, FailedCopyKeepsOnlyWholeCopies) {
    // The copy's nodes need chunks; a second failure in a row leaves the pool dry.
    ListHeader* source = list_new(sizeof(Outer), &vars, outer_fields, 1);
    for (int32_t i = 0; i < 16; i++) fill_outer((Outer*)list_add_element(source), i);
    ASSERT_EQ(source->pool->available_chunks, nullptr);
    for (int32_t failing : {1, 2}) sweep_failing_allocations([&](int32_t k) {
        ListVariables copy_vars = {0, 0};
        ListHeader* copy = list_new(sizeof(Outer), &copy_vars, outer_fields, 1);
        int32_t before = heap_live_blocks();
        heap_faults_arm(k, failing);
        int32_t result = list_copy(source, copy, 0);
        int32_t asked = heap_faults_disarm();
        expect_copy_outcome(result, asked, k, copy->count, source->count);
        EXPECT_TRUE(well_linked(copy)) << k;
        EXPECT_EQ(copy_vars.current, copy->current) << k;
        ListNode* s = source->first;
        for (ListNode* c = copy->first; c; c = c->next, s = s->next)
            EXPECT_TRUE(deep_copy_of((Outer*)(c + 1), (Outer*)(s + 1))) << k;
        list_clear(copy);
        EXPECT_EQ(heap_live_blocks(), before) << k;
        list_free(copy);
        return asked;
    });
    // The source came through every attempt untouched.
    int32_t i = 0;
    for (ListNode* s = source->first; s; s = s->next, i++) EXPECT_EQ(((Outer*)(s + 1))->id, i);
    list_free(source);
    expect_all_given_back();
}

// A record copy that runs out of memory leaves each managed field either a copy of its
// own or null, never the source's block; the next copy over it frees what it held.
TEST_F(List, FailedRecordCopyLeavesNullsNotSharedFields) {
    ListHeader* list = list_new(sizeof(Outer), &vars, outer_fields, 1);
    Outer* from = (Outer*)list_add_element(list);
    fill_outer(from, 5);
    Outer* to = (Outer*)list_add_element(list);
    fields_release(to, outer_fields);
    int32_t before = heap_live_blocks();
    sweep_failing_allocations([&](int32_t k) {
        heap_faults_arm(k, 1);
        int32_t result = record_copy(to, sizeof(Outer), outer_fields, from);
        int32_t asked = heap_faults_disarm();
        if (asked < k || result) {
            EXPECT_EQ(result, 1);
            EXPECT_TRUE(deep_copy_of(to, from)) << k;
        }
        EXPECT_EQ(to->id, 5);
        const char* texts[][2] = {{to->title, from->title},
                                  {to->pair[0].label, from->pair[0].label},
                                  {to->pair[1].label, from->pair[1].label},
                                  {to->single.label, from->single.label}};
        for (auto& t : texts) EXPECT_TRUE(!t[0] || own_copy(t[0], t[1])) << k;
        EXPECT_NE(to->children.list, from->children.list);
        EXPECT_NE(to->tags, from->tags);
        if (to->children.list) {
            EXPECT_EQ(to->children.current, to->children.list->current) << k;
            EXPECT_TRUE(well_linked(to->children.list)) << k;
        } else {
            EXPECT_EQ(to->children.current, nullptr) << k;
        }
        return asked;
    });
    fields_release(to, outer_fields);
    EXPECT_EQ(heap_live_blocks(), before);
    list_free(list);
    expect_all_given_back();
}

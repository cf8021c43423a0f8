// Hash maps: the key hash, buckets, the cursor through searches, iteration and deletion,
// reuse of keys, copies and nested containers, and every allocation failure on the way.
#include <gtest/gtest.h>

#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/containers.h"
#include "tests/support/heap_faults.h"
#include "tests/support/string_vars.h"

namespace {

struct Entry {
    int32_t value;
    char* note;
};
const FieldDescriptor entry_fields[] = {offsetof(Entry, note), FIELD_END};

// An element with a nested list of entries.
struct Group {
    char* name;
    ListVariables members;
};
const FieldDescriptor group_fields[] = {
    offsetof(Group, name),
    FIELD_LIST, offsetof(Group, members), sizeof(Entry), (FieldDescriptor)entry_fields, 2,
    FIELD_END,
};

MapNode* node_of(void* element) { return (MapNode*)element - 1; }
std::string key_of(void* element) { return element ? node_of(element)->key : "(none)"; }

// The keys in the order map_next visits them, the cursor left at the end.
std::vector<std::string> visit_order(HashMap* map) {
    std::vector<std::string> keys;
    map_reset(map);
    while (void* element = map_next(map)) keys.push_back(key_of(element));
    return keys;
}

std::vector<std::string> sorted(std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end());
    return keys;
}

Entry* add_entry(HashMap* map, const char* key, int32_t value, const char* note = 0) {
    Entry* e = (Entry*)map_add(map, key, 0);
    if (e) {
        e->value = value;
        if (note) set_text(&e->note, note);
    }
    return e;
}

std::vector<std::string> numbered_keys(int32_t n) {
    std::vector<std::string> keys;
    for (int32_t i = 0; i < n; i++) keys.push_back("key" + std::to_string(i));
    return keys;
}

// The copy holds the same keys and values, each text in a block of its own.
bool deep_copy_of(HashMap* copy, HashMap* original) {
    if (copy->count != original->count) return false;
    for (int32_t b = 0; b < original->bucket_count; b++)
        for (MapNode* node = original->buckets[b]; node; node = node->next) {
            Entry* from = (Entry*)(node + 1);
            Entry* to = (Entry*)map_find(copy, node->key);
            if (!to || to->value != from->value || node_of(to)->key == node->key) return false;
            if (from->note ? !to->note || to->note == from->note || strcmp(to->note, from->note) != 0
                           : to->note != nullptr)
                return false;
        }
    return true;
}

class Map : public testing::Test {
  protected:
    HashMap* owner = 0;
    int32_t live = 0;
    void SetUp() override { live = heap_live_blocks(); }
    HashMap* make(int32_t buckets, const FieldDescriptor* fields = entry_fields) {
        return map_new(sizeof(Entry), 3, fields, &owner, buckets);
    }
    void expect_all_given_back() { EXPECT_EQ(heap_live_blocks(), live); }
};

}  // namespace

TEST(KeyHash, MultipliesBy65599AndAddsSignedBytes) {
    struct { const char* key; uint32_t hash; } cases[] = {
        {"abc", 0x3025F862u}, {"", 0}, {nullptr, 0}, {"a", 97},
        {"\xFF", 0xFFFFFFFFu}, {"\xFF\x80" "a", 0xFF01D160u},
    };
    for (auto c : cases) EXPECT_EQ(key_hash(c.key), c.hash) << (c.key ? c.key : "(null)");
}

TEST_F(Map, NewMapHasAtLeastOneBucketAndSitsInItsOwner) {
    struct { int32_t asked; int32_t buckets; } cases[] = {{1024, 1024}, {1, 1}, {0, 1}, {-5, 1}};
    for (auto c : cases) {
        HashMap* map = make(c.asked);
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(owner, map);
        EXPECT_EQ(map->bucket_count, c.buckets);
        EXPECT_EQ(map->count, 0);
        EXPECT_EQ(map->bucket_index, -1);
        EXPECT_EQ(map->current, nullptr);
        EXPECT_EQ(map->flags, 0u);
        EXPECT_EQ(map->kind, 3);
        for (int32_t b = 0; b < c.buckets; b++) EXPECT_EQ(map->buckets[b], nullptr);
        EXPECT_EQ(map_free(map), 1);
        EXPECT_EQ(owner, nullptr);
    }
    // Making a map in an owner that holds one frees the old one first; a refused one (a mend) does not.
    HashMap* first = make(16);
    add_entry(first, "k", 1, "a note");
    const FieldDescriptor unknown_code[] = {-8, FIELD_END};
    EXPECT_EQ(make(16, unknown_code), nullptr);
    EXPECT_NE(map_find(owner, "k"), nullptr);
    HashMap* second = make(16);
    EXPECT_EQ(owner, second);
    map_free(second);
    expect_all_given_back();
}

TEST_F(Map, KeyAbcLandsInBucket98Of1024) {
    HashMap* map = make(1024);
    Entry* e = add_entry(map, "abc", 1);
    EXPECT_EQ(map->bucket_index, 98);
    EXPECT_EQ(map->buckets[98], node_of(e));
    EXPECT_EQ(map_find(map, "abc"), e);
    map_free(map);
    expect_all_given_back();
}

TEST_F(Map, MissingMapsAndImpossibleSizesAreRefused) {
    EXPECT_EQ(map_new(-1, 0, nullptr, &owner, 8), nullptr);
    EXPECT_EQ(map_new(INT32_MAX - 8, 0, nullptr, &owner, 8), nullptr);
    EXPECT_EQ(map_new(8, 0, nullptr, &owner, INT32_MAX), nullptr);
    EXPECT_EQ(map_free(nullptr), 0);
    EXPECT_EQ(map_find(nullptr, "a"), nullptr);
    EXPECT_EQ(map_add(nullptr, "a", 1), nullptr);
    map_reset(nullptr);
    EXPECT_EQ(map_next(nullptr), nullptr);
    EXPECT_EQ(map_delete_current(nullptr), nullptr);
    map_clear(nullptr);
    EXPECT_EQ(map_copy(nullptr, nullptr, 1), 0);
    expect_all_given_back();
}

TEST_F(Map, NextOnAnEmptyMapAndAfterTheEndGivesNothing) {
    HashMap* map = make(8);
    map_reset(map);
    EXPECT_EQ(map_next(map), nullptr);
    EXPECT_EQ(map_next(map), nullptr);
    add_entry(map, "only", 1);
    map_reset(map);
    EXPECT_EQ(key_of(map_next(map)), "only");
    for (int i = 0; i < 3; i++) EXPECT_EQ(map_next(map), nullptr);
    EXPECT_EQ(map_delete_current(map), nullptr);
    EXPECT_EQ(map->count, 1);
    map_free(map);
    expect_all_given_back();
}

TEST_F(Map, IterationVisitsEveryElementOnce) {
    for (int32_t buckets : {1, 7, 1024}) {
        HashMap* map = make(buckets);
        std::vector<std::string> keys = numbered_keys(3000);
        for (const std::string& k : keys) ASSERT_NE(add_entry(map, k.c_str(), 0), nullptr);
        EXPECT_EQ(map->count, 3000);
        EXPECT_EQ(sorted(visit_order(map)), sorted(keys)) << buckets;
        map_free(map);
    }
    expect_all_given_back();
}

TEST_F(Map, DeletingInsideTheLoopVisitsEachElementOnce) {
    struct { int32_t buckets; int32_t every; } cases[] = {{1, 1}, {1, 2}, {7, 1}, {7, 3}, {1024, 1}, {1024, 2}};
    for (auto c : cases) {
        HashMap* map = make(c.buckets);
        for (const std::string& k : numbered_keys(2000)) add_entry(map, k.c_str(), 0, k.c_str());
        std::vector<std::string> visited, kept;
        int32_t i = 0;
        map_reset(map);
        while (void* element = map_next(map)) {
            visited.push_back(key_of(element));
            if (i++ % c.every == 0) map_delete_current(map); else kept.push_back(key_of(element));
        }
        EXPECT_EQ(sorted(visited), sorted(numbered_keys(2000))) << c.buckets << "/" << c.every;
        EXPECT_EQ(sorted(visit_order(map)), sorted(kept)) << c.buckets << "/" << c.every;
        EXPECT_EQ(map->count, (int32_t)kept.size());
        if (c.every == 1) {
            for (int32_t b = 0; b < map->bucket_count; b++) EXPECT_EQ(map->buckets[b], nullptr);
            EXPECT_EQ(map->pool->total_blocks, 0);
        }
        map_free(map);
    }
    expect_all_given_back();
}

// Whatever brought the cursor to an element (a search or an iteration step), deleting it
// hands back the element visited before it, and the next step the one after it.
TEST_F(Map, DeletingAfterASearchKeepsTheIterationOrder) {
    for (int32_t buckets : {1, 4, 64}) {
        std::vector<std::string> keys = numbered_keys(20);
        HashMap* map = make(buckets);
        for (const std::string& k : keys) add_entry(map, k.c_str(), 0);
        std::vector<std::string> order = visit_order(map);
        map_free(map);
        for (size_t position = 0; position < order.size(); position++) {
            map = make(buckets);
            for (const std::string& k : keys) add_entry(map, k.c_str(), 0);
            ASSERT_NE(map_find(map, order[position].c_str()), nullptr);
            void* back = map_delete_current(map);
            EXPECT_EQ(key_of(back), position ? order[position - 1] : "(none)") << buckets << " " << position;
            void* after = map_next(map);
            EXPECT_EQ(key_of(after), position + 1 < order.size() ? order[position + 1] : "(none)")
                << buckets << " " << position;
            std::vector<std::string> rest = order;
            rest.erase(rest.begin() + (ptrdiff_t)position);
            EXPECT_EQ(visit_order(map), rest);
            map_free(map);
        }
    }
    expect_all_given_back();
}

TEST_F(Map, DeletingTwiceOrAfterAnAddTakesTheRightElements) {
    for (int32_t buckets : {1, 5}) {
        HashMap* map = make(buckets);
        for (const std::string& k : numbered_keys(12)) add_entry(map, k.c_str(), 0);
        std::vector<std::string> order = visit_order(map);
        map_reset(map);
        for (int i = 0; i < 5; i++) map_next(map);
        EXPECT_EQ(key_of(map_delete_current(map)), order[3]);
        EXPECT_EQ(key_of(map_delete_current(map)), order[2]);
        EXPECT_EQ(key_of(map_next(map)), order[5]);
        order.erase(order.begin() + 3, order.begin() + 5);
        EXPECT_EQ(visit_order(map), order);
        EXPECT_EQ(map->count, 10);
        // Deleting a freshly added element takes just that one.
        add_entry(map, "newcomer", 0, "with a note");
        map_delete_current(map);
        EXPECT_EQ(visit_order(map), order);
        map_free(map);
    }
    expect_all_given_back();
}

TEST_F(Map, AMissedSearchLeavesTheCursorWhereItWas) {
    HashMap* map = make(8);
    for (const std::string& k : numbered_keys(30)) add_entry(map, k.c_str(), 0);
    std::vector<std::string> order = visit_order(map);
    std::vector<std::string> interrupted;
    map_reset(map);
    while (void* element = map_next(map)) {
        interrupted.push_back(key_of(element));
        EXPECT_EQ(map_find(map, "not there"), nullptr);
        EXPECT_EQ(map->current, node_of(element));
    }
    EXPECT_EQ(interrupted, order);
    // A deletion after a missed search still takes the element the cursor is on.
    map_reset(map);
    map_next(map);
    map_next(map);
    map_find(map, "not there");
    EXPECT_EQ(key_of(map_delete_current(map)), order[0]);
    order.erase(order.begin() + 1);
    EXPECT_EQ(visit_order(map), order);
    map_free(map);
    expect_all_given_back();
}

TEST_F(Map, AnExistingKeyGivesASecondElementOrWithReuseTheSameOneCleared) {
    HashMap* map = make(16);
    Entry* older = add_entry(map, "twice", 1, "old");
    Entry* newer = add_entry(map, "twice", 2, "new");
    EXPECT_NE(older, newer);
    EXPECT_EQ(map->count, 2);
    EXPECT_EQ(map_find(map, "twice"), newer);
    int32_t with_notes = heap_live_blocks();
    Entry* again = (Entry*)map_add(map, "twice", 1);
    EXPECT_EQ(again, newer);
    EXPECT_EQ(again->value, 0);
    EXPECT_EQ(again->note, nullptr);
    EXPECT_EQ(map->count, 2);
    EXPECT_EQ(heap_live_blocks(), with_notes - 1);  // the old note went back
    // Reuse of a key not yet present adds it.
    EXPECT_NE(map_add(map, "fresh", 1), nullptr);
    EXPECT_EQ(map->count, 3);
    map_free(map);
    expect_all_given_back();
}

TEST_F(Map, KeysAreAnyBytesAndAMissingKeyIsTheEmptyOne) {
    HashMap* map = make(32);
    struct { const char* key; int32_t value; } cases[] = {
        {"", 1}, {"\xFF\xFE", 2}, {"\x80", 3}, {"\x01\x7F", 4}, {"Case", 5}, {"case", 6},
    };
    for (auto c : cases) add_entry(map, c.key, c.value);
    for (auto c : cases) {
        Entry* e = (Entry*)map_find(map, c.key);
        ASSERT_NE(e, nullptr) << c.value;
        EXPECT_EQ(e->value, c.value);
    }
    EXPECT_EQ(((Entry*)map_find(map, nullptr))->value, 1);
    Entry* none = (Entry*)map_add(map, nullptr, 1);
    EXPECT_EQ(none, map_find(map, ""));
    EXPECT_STREQ(node_of(none)->key, "");
    EXPECT_EQ(map->count, 6);
    map_free(map);
    expect_all_given_back();
}

TEST_F(Map, ClearFreesEveryElementAndLeavesAUsableMap) {
    HashMap* map = make(64);
    int32_t empty_map = heap_live_blocks();
    for (const std::string& k : numbered_keys(500)) add_entry(map, k.c_str(), 1, k.c_str());
    map_clear(map);
    EXPECT_EQ(map->count, 0);
    EXPECT_EQ(map->current, nullptr);
    EXPECT_EQ(map->bucket_index, -1);
    EXPECT_EQ(heap_live_blocks(), empty_map);
    EXPECT_EQ(visit_order(map), std::vector<std::string>{});
    add_entry(map, "after", 2);
    EXPECT_EQ(visit_order(map), std::vector<std::string>{"after"});
    map_free(map);
    expect_all_given_back();
}

TEST_F(Map, CopyGivesTheDestinationItsOwnElementsAndKeepsTheSourceCursor) {
    HashMap* copy_owner = 0;
    HashMap* source = make(16);
    for (const std::string& k : numbered_keys(300)) add_entry(source, k.c_str(), (int32_t)k.size(), k.c_str());
    add_entry(source, "no note", 5);
    HashMap* copy = map_new(sizeof(Entry), 3, entry_fields, &copy_owner, 64);
    map_reset(source);
    map_next(source);
    map_next(source);
    HashMap cursor = *source;
    ASSERT_EQ(map_copy(source, copy, 1), 1);
    EXPECT_TRUE(deep_copy_of(copy, source));
    EXPECT_EQ(source->current, cursor.current);
    EXPECT_EQ(source->bucket_index, cursor.bucket_index);
    EXPECT_EQ(source->previous, cursor.previous);
    EXPECT_EQ(source->saved_index, cursor.saved_index);
    set_text(&((Entry*)map_find(source, "key1"))->note, "changed");
    EXPECT_STREQ(((Entry*)map_find(copy, "key1"))->note, "key1");
    map_free(source);
    map_free(copy);
    expect_all_given_back();
}

TEST_F(Map, CopyKeepsTheOrderOfEqualKeys) {
    for (int32_t copy_buckets : {1, 3, 16}) {
        HashMap* copy_owner = 0;
        HashMap* source = make(4);
        add_entry(source, "dup", 1);
        add_entry(source, "other", 9);
        add_entry(source, "dup", 2);
        add_entry(source, "dup", 3);
        HashMap* copy = map_new(sizeof(Entry), 3, entry_fields, &copy_owner, copy_buckets);
        add_entry(copy, "dup", 100);  // already there: the copies go in front of it
        ASSERT_EQ(map_copy(source, copy, 0), 1);
        EXPECT_EQ(((Entry*)map_find(copy, "dup"))->value, 3) << copy_buckets;
        std::vector<int32_t> values;
        map_reset(copy);
        while (Entry* e = (Entry*)map_next(copy))
            if (key_of(e) == "dup") values.push_back(e->value);
        EXPECT_EQ(values, (std::vector<int32_t>{3, 2, 1, 100})) << copy_buckets;
        map_free(source);
        map_free(copy);
    }
    expect_all_given_back();
}

TEST_F(Map, CopyRefusesMissingSameAndMismatchedMaps) {
    HashMap *a = 0, *b = 0, *c = 0;
    HashMap* source = map_new(sizeof(Entry), 0, entry_fields, &a, 8);
    HashMap* other_size = map_new(sizeof(Entry) + 4, 0, entry_fields, &b, 8);
    HashMap* other_fields = map_new(sizeof(Entry), 0, nullptr, &c, 8);
    add_entry(source, "k", 1);
    struct { HashMap* from; HashMap* to; } cases[] = {
        {nullptr, source}, {source, nullptr}, {source, source}, {source, other_size}, {source, other_fields},
    };
    for (auto t : cases) EXPECT_EQ(map_copy(t.from, t.to, 1), 0);
    EXPECT_EQ(source->count, 1);
    EXPECT_EQ(other_size->count + other_fields->count, 0);
    for (HashMap* map : {source, other_size, other_fields}) map_free(map);
    expect_all_given_back();
}

TEST_F(Map, NestedListsAreMadeCopiedAndFreedWithTheirElements) {
    HashMap* copy_owner = 0;
    HashMap* source = map_new(sizeof(Group), 1, group_fields, &owner, 8);
    EXPECT_EQ(source->flags, (uint32_t)MAP_NEEDS_SETUP);
    for (int32_t g = 0; g < 5; g++) {
        Group* group = (Group*)map_add(source, ("group" + std::to_string(g)).c_str(), 0);
        ASSERT_NE(group->members.list, nullptr);
        set_text(&group->name, "name");
        for (int32_t m = 0; m < g; m++) {
            Entry* e = (Entry*)list_add_element(group->members.list);
            e->value = m;
            set_text(&e->note, "member");
        }
    }
    // Reuse gives the element a fresh, empty nested list.
    Group* reused = (Group*)map_add(source, "group4", 1);
    EXPECT_EQ(reused->name, nullptr);
    ASSERT_NE(reused->members.list, nullptr);
    EXPECT_EQ(reused->members.list->count, 0);

    HashMap* copy = map_new(sizeof(Group), 1, group_fields, &copy_owner, 3);
    ASSERT_EQ(map_copy(source, copy, 0), 1);
    for (int32_t g = 0; g < 4; g++) {
        std::string key = "group" + std::to_string(g);
        Group* from = (Group*)map_find(source, key.c_str());
        Group* to = (Group*)map_find(copy, key.c_str());
        ASSERT_NE(to, nullptr);
        EXPECT_NE(to->members.list, from->members.list);
        EXPECT_EQ(to->members.list->owner_variable, &to->members);
        EXPECT_EQ(to->members.list->count, g);
        EXPECT_NE(to->name, from->name);
    }
    map_free(source);
    map_free(copy);
    expect_all_given_back();
}

TEST_F(Map, FailedCreationLeavesNothingBehind) {
    sweep_failing_allocations([&](int32_t k) {
        heap_faults_arm(k, 1);
        HashMap* map = make(1024);
        int32_t asked = heap_faults_disarm();
        if (asked >= k) {
            EXPECT_EQ(map, nullptr) << k;
            EXPECT_EQ(owner, nullptr) << k;
            expect_all_given_back();
        }
        map_free(map);
        return asked;
    });
    expect_all_given_back();
}

// With reuse the element keeps what it held (a mend: it used to be deleted). The pool is
// full, and two failures in a row defeat its one-block fallback, so it runs dry too.
TEST_F(Map, FailedAddLeavesTheMapAsItWas) {
    for (int32_t reuse : {0, 1}) {
        HashMap* map = map_new(sizeof(Group), 1, group_fields, &owner, 8);
        for (int32_t g = 0; g < 16; g++) map_add(map, ("group" + std::to_string(g)).c_str(), 0);
        ASSERT_EQ(map->pool->available_chunks, nullptr);
        Group* kept = (Group*)map_find(map, "group7");
        set_text(&kept->name, "seven");
        list_add_element(kept->members.list);
        std::vector<std::string> order = visit_order(map);
        int32_t before = heap_live_blocks();
        sweep_failing_allocations([&](int32_t k) {
            heap_faults_arm(k, 2);
            void* added = map_add(map, reuse ? "group7" : "brand new", reuse);
            int32_t asked = heap_faults_disarm();
            if (added) {
                EXPECT_NE(((Group*)added)->members.list, nullptr);
                if (!reuse) map_delete_current(map);
                return asked;
            }
            EXPECT_EQ(visit_order(map), order) << k;
            EXPECT_EQ(heap_live_blocks(), before) << k;
            EXPECT_STREQ(kept->name, "seven") << k;
            EXPECT_EQ(kept->members.list->count, 1) << k;
            EXPECT_EQ(kept->members.list->owner_variable, &kept->members) << k;
            return asked;
        });
        map_free(map);
    }
    expect_all_given_back();
}

TEST_F(Map, FailedCopyKeepsOnlyWholeCopies) {
    // The copy's nodes soon need a chunk; a second failure in a row leaves the pool dry.
    HashMap* source = map_new(sizeof(Entry), 1, entry_fields, &owner, 8);
    for (const std::string& k : numbered_keys(25)) add_entry(source, k.c_str(), 1, k.c_str());
    std::vector<std::string> order = visit_order(source);
    for (int32_t failing : {1, 2}) sweep_failing_allocations([&](int32_t k) {
        HashMap* copy_owner = 0;
        HashMap* copy = map_new(sizeof(Entry), 1, entry_fields, &copy_owner, 5);
        int32_t before = heap_live_blocks();
        heap_faults_arm(k, failing);
        int32_t result = map_copy(source, copy, 0);
        int32_t asked = heap_faults_disarm();
        expect_copy_outcome(result, asked, k, copy->count, source->count);
        // Whatever made it across is a whole copy of its own.
        map_reset(copy);
        while (Entry* e = (Entry*)map_next(copy)) {
            Entry* from = (Entry*)map_find(source, key_of(e).c_str());
            EXPECT_TRUE(from && e->note && e->note != from->note && strcmp(e->note, from->note) == 0) << k;
        }
        map_clear(copy);
        EXPECT_EQ(heap_live_blocks(), before) << k;
        map_free(copy);
        return asked;
    });
    EXPECT_EQ(visit_order(source), order);
    map_free(source);
    expect_all_given_back();
}

// The numbered object registry: table growth, reuse through the release callback,
// automatic records, iteration and release of everything.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/registry.h"
#include "tests/support/heap_faults.h"

namespace {

// A record as the libraries define them: the primary handle first.
struct Thing {
    uint32_t handle;
    int32_t payload[3];
};

ObjectRegistry* current;
std::vector<int32_t> released;

// Like a library's free operation: releases a live object, then kills the record.
int32_t release_thing(int32_t number) {
    released.push_back(number);
    if (!registry_get(current, number)) return 0;
    registry_free(current, number);
    return 1;
}

Thing* make(int32_t number, uint32_t handle = 0xABC) {
    Thing* t = (Thing*)registry_allocate(current, number);
    if (t) t->handle = handle;
    return t;
}

class Registry : public testing::Test {
  protected:
    void SetUp() override {
        released.clear();
        current = registry_new(sizeof(Thing), 16, release_thing);
        ASSERT_NE(current, nullptr);
    }
};

}  // namespace

TEST_F(Registry, StartsWithTheGrowthStep) {
    EXPECT_EQ(current->capacity, 16);
    EXPECT_EQ(current->object_size, (int32_t)sizeof(Thing));
    EXPECT_EQ(current->automatic_chain, nullptr);
    // A mend: a step that could not grow the table past a number is refused.
    int32_t live = heap_live_blocks();
    for (int32_t step : {0, -1, INT32_MAX})
        EXPECT_EQ(registry_new(sizeof(Thing), step, nullptr), nullptr) << step;
    EXPECT_EQ(heap_live_blocks(), live);
}

TEST_F(Registry, NumbersBeyondTheTableGrowIt) {
    struct { int32_t number; int32_t capacity; } cases[] = {{15, 16}, {16, 32}, {100, 116}, {50, 116}};
    SetUp();
    for (auto c : cases) {
        ASSERT_NE(make(c.number), nullptr) << c.number;
        EXPECT_EQ(current->capacity, c.capacity) << c.number;
    }
    // Everything made before a growth is still there.
    for (auto c : cases) EXPECT_NE(registry_get(current, c.number), nullptr) << c.number;
}

TEST_F(Registry, RefusesNumbersBelowMinusOneAndImpossibleTables) {
    EXPECT_EQ(registry_allocate(current, -2), nullptr);
    EXPECT_EQ(registry_allocate(current, INT32_MIN), nullptr);
    EXPECT_EQ(registry_allocate(current, INT32_MAX), nullptr);
    EXPECT_EQ(current->capacity, 16);
}

// Memory refused for the automatic node, a record, or a larger table: null, nothing
// kept, what was there untouched, and the same numbers work once memory comes back.
TEST_F(Registry, FailedAllocationsChangeNothingButAGrownTable) {
    make(3);
    struct { int32_t number; int32_t failing; int32_t capacity; } cases[] = {
        {-1, 1, 16}, {5, 1, 16}, {40, 1, 16}, {40, 2, 56},
    };
    for (auto c : cases) {
        int32_t live = heap_live_blocks();
        heap_faults_arm(c.failing, 1);
        EXPECT_EQ(registry_allocate(current, c.number), nullptr) << c.number;
        EXPECT_EQ(heap_faults_disarm(), c.failing) << c.number;
        EXPECT_EQ(current->capacity, c.capacity) << c.number;
        EXPECT_EQ(heap_live_blocks(), live) << c.number;
    }
    EXPECT_EQ(current->automatic_chain, nullptr);
    EXPECT_NE(registry_get(current, 3), nullptr);
    for (int32_t number : {-1, 5, 40}) EXPECT_NE(make(number), nullptr) << number;
}

TEST_F(Registry, ReusingANumberReleasesTheOldObjectAndKeepsTheMemory) {
    Thing* first = make(3);
    first->payload[0] = 77;
    Thing* second = (Thing*)registry_allocate(current, 3);
    EXPECT_EQ(second, first);
    EXPECT_EQ(released, std::vector<int32_t>{3});
    EXPECT_EQ(second->handle, 0u);
    EXPECT_EQ(second->payload[0], 0);
}

TEST_F(Registry, FreedNumbersAreDeadButStillCallTheCallbackOnReuse) {
    Thing* t = make(3);
    registry_free(current, 3);
    EXPECT_EQ(registry_get(current, 3), nullptr);
    Thing* again = (Thing*)registry_allocate(current, 3);
    EXPECT_EQ(again, t);
    EXPECT_EQ(released, std::vector<int32_t>{3});
}

TEST_F(Registry, GetTellsLiveFromDeadAndUnknown) {
    make(1);
    registry_allocate(current, 2);  // made, but its handle never set
    EXPECT_NE(registry_get(current, 1), nullptr);
    EXPECT_EQ(registry_get(current, 2), nullptr);
    EXPECT_EQ(registry_get(current, 7), nullptr);   // never used
    EXPECT_EQ(registry_get(current, 500), nullptr);  // beyond the table, no such identity
    EXPECT_EQ(registry_get(current, -5), nullptr);
}

TEST_F(Registry, AutomaticRecordsAreFoundByTheirIdentity) {
    Thing* a = make(-1);
    ASSERT_NE(a, nullptr);
    int32_t id = registry_identity(a);
    EXPECT_EQ(registry_get(current, id), a);
    a->handle = 0;
    EXPECT_EQ(registry_get(current, id), nullptr);
    a->handle = 1;
    registry_free(current, id);
    EXPECT_EQ(registry_get(current, id), nullptr);
    registry_free(current, id);  // a second free of a gone identity is ignored
    EXPECT_EQ(current->automatic_chain, nullptr);
}

TEST_F(Registry, FreeingFromAnyPlaceInTheChainKeepsItLinked) {
    Thing* a = make(-1, 1);
    Thing* b = make(-1, 2);
    Thing* c = make(-1, 3);
    registry_free(current, registry_identity(b));  // middle
    EXPECT_EQ(registry_get(current, registry_identity(a)), a);
    EXPECT_EQ(registry_get(current, registry_identity(c)), c);
    registry_free(current, registry_identity(c));  // head
    registry_free(current, registry_identity(a));  // last
    EXPECT_EQ(current->automatic_chain, nullptr);
}

TEST_F(Registry, ReleaseAllVisitsLiveTableRecordsThenAutomaticOldestFirst) {
    make(0);
    make(5);
    make(2);
    registry_free(current, 2);
    Thing* older = make(-1);
    Thing* newer = make(-1);
    registry_release_all(current);
    std::vector<int32_t> expected = {0, 5, registry_identity(older), registry_identity(newer)};
    EXPECT_EQ(released, expected);
    EXPECT_EQ(registry_get(current, 0), nullptr);
    EXPECT_EQ(registry_get(current, 5), nullptr);
    EXPECT_EQ(current->automatic_chain, nullptr);
}

TEST_F(Registry, ReleaseAllWithoutACallbackDoesNothing) {
    ObjectRegistry* plain = registry_new(sizeof(Thing), 4, nullptr);
    Thing* t = (Thing*)registry_allocate(plain, 1);
    t->handle = 9;
    registry_release_all(plain);
    EXPECT_EQ(registry_get(plain, 1), t);
    // Without a callback a reused number comes back as it was.
    EXPECT_EQ(registry_allocate(plain, 1), t);
    EXPECT_EQ(t->handle, 9u);
}

TEST_F(Registry, IterationSurvivesFreeingWhatItVisits) {
    make(1);
    make(3);
    make(-1);
    make(-1);
    registry_first(current);
    int32_t number;
    int visited = 0;
    while (registry_next(current, &number)) {
        registry_free(current, number);
        visited++;
    }
    EXPECT_EQ(visited, 4);
}

TEST(SingleObject, IsZeroFilledAndInitialisedOnce) {
    static void* initialised;
    initialised = nullptr;
    auto init = [](void* record) {
        EXPECT_EQ(((int32_t*)record)[3], 0);
        EXPECT_EQ(initialised, nullptr) << "a second time";
        initialised = record;
    };
    void* state = single_object_new(16, init, nullptr);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(initialised, state);
    EXPECT_NE(single_object_new(8, nullptr, nullptr), nullptr);
}

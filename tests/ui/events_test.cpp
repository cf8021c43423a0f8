// The event channel: folding, the five binding keys, the current event around nested
// posts, removal of a window's events and bindings, and events handed in by another
// thread through "ZK_PostEventMessage".
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "runtime/memory.h"
#include "tests/support/heap_faults.h"
#include "tests/support/ui_runtime.h"
#include "ui/window_procedure.h"

namespace {

class Events : public testing::Test {
  protected:
    void SetUp() override {
        ui_runtime_start();
        ui_event_queue_clear();
        map_clear(event_bindings);
    }
    void TearDown() override {
        ui_event_queue_clear();
        map_clear(event_bindings);
        event_queue_state->posting_suspended = 0;
    }
};

std::vector<int> calls;
template <int N> void record_call() { calls.push_back(N); }

struct Post { int32_t event, object, window, type, data; };

}  // namespace

TEST_F(Events, RepeatsOfTheNewestRecordFoldBelow65536) {
    struct Case {
        const char* name;
        std::vector<Post> posts;
        std::vector<int32_t> queued;  // event codes left in the queue
    } cases[] = {
        { "a repeat folds", { { 13115, 0, 0, 0, 0 }, { 13115, 0, 0, 0, 0 } }, { 13115 } },
        { "another event in between", { { 13115, 0, 0, 0, 0 }, { 13116, 0, 0, 0, 0 }, { 13115, 0, 0, 0, 0 } },
          { 13115, 13116, 13115 } },
        { "another object", { { 13100, 1, 0, 0, 0 }, { 13100, 2, 0, 0, 0 } }, { 13100, 13100 } },
        { "another window", { { 13115, 0, 0, 0, 0 }, { 13115, 0, 1, 0, 0 } }, { 13115, 13115 } },
        { "another type", { { 13100, 1, 0, 0, 0 }, { 13100, 1, 0, 768, 0 } }, { 13100, 13100 } },
        { "data does not count", { { 13115, 0, 0, 0, 1 }, { 13115, 0, 0, 0, 2 } }, { 13115 } },
        { "65535 still folds", { { 65535, 0, 0, 0, 0 }, { 65535, 0, 0, 0, 0 } }, { 65535 } },
        { "65536 never folds", { { 65536, 0, 0, 0, 0 }, { 65536, 0, 0, 0, 0 } }, { 65536, 65536 } },
        { "nor anything above", { { 70000, 5, 5, 5, 0 }, { 70000, 5, 5, 5, 0 }, { 70000, 5, 5, 5, 0 } },
          { 70000, 70000, 70000 } },
    };
    for (const Case& c : cases) {
        ui_event_queue_clear();
        for (const Post& p : c.posts) EXPECT_EQ(event_post(p.event, p.object, p.window, p.type, p.data), 1) << c.name;
        std::vector<int32_t> codes;
        for (const EventRecord& r : ui_event_queue()) codes.push_back(r.event);
        EXPECT_EQ(codes, c.queued) << c.name;
    }
}

TEST_F(Events, AFoldedRecordKeepsItsFirstDataWords) {
    event_post(13115, 0, 0, 0, 11, 12, 0);
    event_post(13115, 0, 0, 0, 21, 22, 0);
    std::vector<EventRecord> queue = ui_event_queue();
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue[0].data, 11);
    EXPECT_EQ(queue[0].data2, 12);
    EXPECT_EQ(event_queue_state->first, event_queue_state->last);
}

TEST_F(Events, RecordsKeepTheirFieldsInPostingOrder) {
    event_post(13100, 7, 3, 768, 1, 2, 0);
    event_post(13101, 9, -1, 0, 0, 0, 0);
    std::vector<EventRecord> queue = ui_event_queue();
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(ui_event_fields(queue[0]), EventFields(13100, 7, 3, 768, 1, 2));
    EXPECT_EQ(ui_event_fields(queue[1]), EventFields(13101, 9, -1, 0, 0, 0));
    EXPECT_EQ(event_queue_state->last->event, 13101);
    EXPECT_EQ(event_queue_state->last->next, nullptr);
}

TEST_F(Events, BindingsRunForTheFiveKeysInOrder) {
    ASSERT_TRUE(ui_event_bind(13100, 2, 5, 768, record_call<1>));
    ASSERT_TRUE(ui_event_bind(13100, 2, 5, -1, record_call<2>));
    ASSERT_TRUE(ui_event_bind(13100, 2, -1, -1, record_call<3>));
    ASSERT_TRUE(ui_event_bind(13100, -1, -1, -1, record_call<4>));
    ASSERT_TRUE(ui_event_bind(13100, -1, 5, 768, record_call<5>));
    // Patterns the event does not match.
    ASSERT_TRUE(ui_event_bind(13100, -1, -1, 768, record_call<6>));
    ASSERT_TRUE(ui_event_bind(13100, 3, -1, -1, record_call<7>));
    ASSERT_TRUE(ui_event_bind(13101, -1, -1, -1, record_call<8>));

    calls.clear();
    event_post(13100, 5, 2, 768);
    EXPECT_EQ(calls, (std::vector<int>{ 1, 2, 3, 4, 5 }));

    // A folded repeat runs them again.
    calls.clear();
    event_post(13100, 5, 2, 768);
    EXPECT_EQ(calls, (std::vector<int>{ 1, 2, 3, 4, 5 }));
    EXPECT_EQ(ui_event_queue().size(), 1u);
}

TEST_F(Events, OneChainRunsInBindingOrderOncePerMatchingKey) {
    ASSERT_TRUE(ui_event_bind(13116, 0, -1, -1, record_call<1>));
    ASSERT_TRUE(ui_event_bind(13116, 0, -1, -1, record_call<2>));
    ASSERT_TRUE(ui_event_bind(13116, -1, -1, -1, record_call<3>));
    struct Case { int32_t object, window, type; std::vector<int> expected; } cases[] = {
        { 0, 0, 0, { 1, 2, 3 } },   // window 0's close request
        { 9, 0, 4, { 1, 2, 3 } },   // whatever the object and type
        { 0, 1, 0, { 3 } },         // another window: only the pattern for every window
        // Window -1 makes the third key the fourth one as well: it runs for both.
        { 0, -1, 0, { 3, 3 } },
    };
    for (const Case& c : cases) {
        calls.clear();
        event_post(13116, c.object, c.window, c.type);
        EXPECT_EQ(calls, c.expected) << "window " << c.window << " object " << c.object;
    }
}

namespace {
std::vector<CurrentEvent> seen;
void note_current() { seen.push_back(event_queue_state->current_event); }
void post_nested() {
    note_current();
    event_post(13200, 8, 9, 10, 11, 0, 0);
    note_current();
}
bool same(const CurrentEvent& a, const CurrentEvent& b) {
    return a.event == b.event && a.window == b.window && a.object == b.object && a.type == b.type &&
           a.data == b.data && a.data2 == b.data2;
}
}  // namespace

TEST_F(Events, ANestedPostRestoresTheCurrentEvent) {
    ASSERT_TRUE(ui_event_bind(13100, 1, 2, 3, post_nested));
    ASSERT_TRUE(ui_event_bind(13200, 9, 8, 10, note_current));
    event_queue_state->current_event = CurrentEvent{ 1, 2, 3, 4, 5, 6 };
    seen.clear();
    event_post(13100, 2, 1, 3, 4, 0, 0);
    ASSERT_EQ(seen.size(), 3u);
    CurrentEvent outer = { 13100, 1, 2, 3, 4, 0 };
    CurrentEvent inner = { 13200, 9, 8, 10, 11, 0 };
    EXPECT_TRUE(same(seen[0], outer));
    EXPECT_TRUE(same(seen[1], inner));
    EXPECT_TRUE(same(seen[2], outer));
    EXPECT_TRUE(same(event_queue_state->current_event, CurrentEvent{ 1, 2, 3, 4, 5, 6 }));
    std::vector<int32_t> codes;
    for (const EventRecord& r : ui_event_queue()) codes.push_back(r.event);
    EXPECT_EQ(codes, (std::vector<int32_t>{ 13100, 13200 }));
}

TEST_F(Events, SuspendedPostingDropsAllButForcedPosts) {
    ASSERT_TRUE(ui_event_bind(13115, -1, -1, -1, record_call<1>));
    event_queue_state->posting_suspended = 1;
    calls.clear();
    EXPECT_EQ(event_post(13115, 0, 0, 0), 0);
    EXPECT_TRUE(ui_event_queue().empty());
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(event_post(13116, 0, 0, 0, 0, 0, 1), 1);
    EXPECT_EQ(ui_event_queue().size(), 1u);
}

TEST_F(Events, RemovingAWindowUnlinksItsRecordsAnywhereInTheQueue) {
    struct Case { const char* name; std::vector<int32_t> windows; std::vector<int32_t> left; } cases[] = {
        { "first, middle and last", { 3, 1, 3, 3, 2, 3 }, { 1, 2 } },
        { "all of them", { 3, 3, 3 }, {} },
        { "none of them", { 1, 2 }, { 1, 2 } },
        { "only the last", { 1, 3 }, { 1 } },
        { "empty queue", {}, {} },
    };
    for (const Case& c : cases) {
        ui_event_queue_clear();
        // Events 65536 and up never fold, so every post makes a record.
        for (int32_t w : c.windows) event_post(70000, 0, w, 0);
        int32_t blocks = heap_live_blocks();
        event_queue_remove_window(3);
        std::vector<int32_t> left;
        for (const EventRecord& r : ui_event_queue()) left.push_back(r.window);
        EXPECT_EQ(left, c.left) << c.name;
        EXPECT_LE(heap_live_blocks(), blocks) << c.name;
        if (c.left.empty()) {
            EXPECT_EQ(event_queue_state->first, nullptr) << c.name;
            EXPECT_EQ(event_queue_state->last, nullptr) << c.name;
        } else {
            ASSERT_NE(event_queue_state->last, nullptr) << c.name;
            EXPECT_EQ(event_queue_state->last->window, c.left.back()) << c.name;
            EXPECT_EQ(event_queue_state->last->next, nullptr) << c.name;
        }
        // The queue goes on correctly behind what is left.
        event_post(70001, 0, 4, 0);
        EXPECT_EQ(event_queue_state->last->event, 70001) << c.name;
        EXPECT_EQ(ui_event_queue().size(), c.left.size() + 1) << c.name;
    }
}

TEST_F(Events, RemovingAWindowDeletesItsBindingsWithTheirCallbacks) {
    int32_t blocks = heap_live_blocks();
    ASSERT_TRUE(ui_event_bind(13116, 3, -1, -1, record_call<1>));
    ASSERT_TRUE(ui_event_bind(13116, 3, -1, -1, record_call<2>));
    ASSERT_TRUE(ui_event_bind(13115, 3, 0, 0, record_call<3>));
    ASSERT_TRUE(ui_event_bind(13116, 4, -1, -1, record_call<4>));
    ASSERT_TRUE(ui_event_bind(13116, -1, -1, -1, record_call<5>));
    event_bindings_remove_window(3);
    EXPECT_EQ(ui_event_bindings_of(3), 0);
    EXPECT_EQ(ui_event_bindings_of(4), 1);
    EXPECT_EQ(ui_event_bindings_of(-1), 1);
    calls.clear();
    event_post(13116, 0, 3, 0);
    event_post(13116, 0, 4, 0);
    EXPECT_EQ(calls, (std::vector<int>{ 5, 4, 5 }));
    event_bindings_remove_window(4);
    event_bindings_remove_window(-1);
    EXPECT_EQ(event_bindings->count, 0);
    // The callbacks went with their bindings: only the map's pool chunk may stay.
    map_clear(event_bindings);
    EXPECT_LE(heap_live_blocks(), blocks + 1);
}

namespace {
DWORD posting_thread;
void note_thread() { posting_thread = GetCurrentThreadId(); }
}  // namespace

TEST_F(Events, AnEventFromAnotherThreadArrivesInTheMainThreadsQueue) {
    ASSERT_NE(event_post_window, nullptr);
    ASSERT_NE(event_post_message, 0u);
    ASSERT_TRUE(ui_event_bind(13300, 2, 1, 0, note_thread));
    int32_t blocks = heap_live_blocks();
    posting_thread = 0;
    std::thread sender([] {
        PostedEventRecord* posted =
            (PostedEventRecord*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, sizeof(PostedEventRecord));
        posted->event = 13300;
        posted->object = 1;
        posted->window = 2;
        posted->data = 77;
        PostMessageA(event_post_window, event_post_message, 0, (LPARAM)posted);
    });
    sender.join();
    for (int i = 0; i < 200 && ui_event_queue().empty(); i++) {
        ui_pump_messages();
        Sleep(5);
    }
    std::vector<EventRecord> queue = ui_event_queue();
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(ui_event_fields(queue[0]), EventFields(13300, 1, 2, 0, 77, 0));
    EXPECT_EQ(posting_thread, GetCurrentThreadId());
    // The handed-over record was freed by the receiving side.
    ui_event_queue_clear();
    EXPECT_LE(heap_live_blocks(), blocks);
}

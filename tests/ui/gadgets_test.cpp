// Gadget bookkeeping: the current gadget list handed between windows with the one
// container stack array, the destruction of a list's window, and the routing of control
// messages to a gadget's handler.
#include <gtest/gtest.h>

#include <string>

#include "runtime/memory.h"
#include "tests/support/heap_faults.h"
#include "tests/support/ui_runtime.h"
#include "ui/messages.h"
#include "ui/window_procedure.h"

namespace {

// Read under the name the window carries it by: the instance as a signed decimal.
GadgetStackRecord* stack_record(HWND window) {
    std::string name = "ZK_GadgetStack_" + std::to_string((int32_t)(intptr_t)GetModuleHandleA(0));
    return (GadgetStackRecord*)GetPropA(window, name.c_str());
}

bool owned_by_heap(void* block) {
    return block && HeapValidate(object_heap, 0, block);
}

class Gadgets : public testing::Test {
  protected:
    void SetUp() override {
        ui_runtime_start();
        window_close(-1);
        gadget_free(-1);
    }
    void TearDown() override {
        window_close(-1);
        gadget_free(-1);
        ui_event_queue_clear();
    }
    // A window that does not become the current list when opened.
    HWND open(int32_t number) {
        return (HWND)window_open(number, 0, 0, 100, 80, "list", WINDOW_NOT_GADGET_LIST | WINDOW_INVISIBLE);
    }
};

}  // namespace

TEST_F(Gadgets, OpeningAWindowMakesItTheCurrentList) {
    HWND window = (HWND)window_open(0, WINDOW_IGNORE, WINDOW_IGNORE, 300, 200, "Vantorel", 1);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(gadget_list_use(0), window);
    GadgetStackRecord* record = stack_record(window);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->window, window);
    EXPECT_EQ(record->saved_container_stack, nullptr);
    // The chain: the subclass procedure in front of the window procedure.
    EXPECT_EQ((WNDPROC)GetWindowLongPtrA(window, GWLP_WNDPROC), gadget_stack_procedure);
    EXPECT_EQ(record->previous_procedure, window_class_procedure);

    // With flag 0x8 the list stays where it was.
    HWND other = open(1);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(gadget_list_use(0), window);
    EXPECT_EQ(stack_record(other), nullptr);
}

TEST_F(Gadgets, SwitchingBetweenTwoWindowsHandsTheStackArrayOver) {
    HWND a = open(1), b = open(2);
    ASSERT_TRUE(a && b);
    GadgetListState* state = gadget_list_state;

    gadget_list_use(a);
    HWND* array_a = state->container_stack;
    ASSERT_TRUE(owned_by_heap(array_a));
    // A container open in A: the base window is the stack's first entry.
    array_a[0] = a;
    array_a[1] = (HWND)0x1234;
    state->stack_depth = 2;

    EXPECT_EQ(gadget_list_use(b), a);
    HWND* array_b = state->container_stack;
    EXPECT_NE(array_b, array_a);
    EXPECT_TRUE(owned_by_heap(array_b));
    EXPECT_EQ(state->current_list, b);
    EXPECT_EQ(state->stack_depth, 0);
    EXPECT_EQ(state->stack_capacity, GADGET_STACK_ENTRIES);
    GadgetStackRecord* saved_a = stack_record(a);
    ASSERT_NE(saved_a, nullptr);
    EXPECT_EQ(saved_a->saved_container_stack, array_a);
    EXPECT_EQ(saved_a->saved_stack_depth, 2);
    EXPECT_EQ(saved_a->saved_current_list, a);
    EXPECT_TRUE(owned_by_heap(array_a));

    int32_t blocks = heap_live_blocks();
    EXPECT_EQ(gadget_list_use(a), b);
    EXPECT_EQ(state->container_stack, array_a);
    EXPECT_EQ(state->stack_depth, 2);
    EXPECT_EQ(array_a[1], (HWND)0x1234);
    EXPECT_EQ(saved_a->saved_container_stack, nullptr);
    GadgetStackRecord* saved_b = stack_record(b);
    ASSERT_NE(saved_b, nullptr);
    EXPECT_EQ(saved_b->saved_container_stack, array_b);
    EXPECT_TRUE(owned_by_heap(array_b));
    // Nothing was freed or made on the way back.
    EXPECT_EQ(heap_live_blocks(), blocks);

    // Selecting the current list again changes nothing.
    EXPECT_EQ(gadget_list_use(a), a);
    EXPECT_EQ(state->container_stack, array_a);
    EXPECT_EQ(state->stack_depth, 2);
    EXPECT_EQ(heap_live_blocks(), blocks);
    state->stack_depth = 0;
}

TEST_F(Gadgets, DestroyingTheCurrentListsWindowLeavesNone) {
    HWND a = open(1), b = open(2);
    ASSERT_TRUE(a && b);
    gadget_list_use(a);
    gadget_list_use(b);
    HWND* live = gadget_list_state->container_stack;
    // One queued event keeps the queue's pool chunk, so that only the blocks of the
    // window and its list come and go below.
    ui_event_queue_clear();
    event_post(70000, 0, 99, 0);

    // B is current: its record goes (and its accelerator entries), the live array stays.
    int32_t blocks = heap_live_blocks();
    window_close(2);
    EXPECT_EQ(gadget_list_use(0), nullptr);
    EXPECT_EQ(gadget_list_state->current_list, nullptr);
    EXPECT_EQ(gadget_list_state->container_stack, live);
    EXPECT_TRUE(owned_by_heap(live));
    EXPECT_EQ(heap_live_blocks(), blocks - 2);

    // A is saved: its record and the array it owns both go (and its accelerator entries).
    blocks = heap_live_blocks();
    window_close(1);
    EXPECT_EQ(heap_live_blocks(), blocks - 3);
    EXPECT_EQ(gadget_list_use(0), nullptr);
}

namespace {

int handled;
LRESULT handle_all(GadgetObject*, HWND, UINT, WPARAM, LPARAM) {
    handled++;
    return 55;
}
GadgetClass handling_kind = { { 0, 0 }, handle_all };
GadgetClass silent_kind = { { 0, 0 }, 0 };

HWND make_button(HWND parent, int id) {
    return CreateWindowExA(0, "BUTTON", "b", WS_CHILD | WS_VISIBLE, 0, 0, 40, 20, parent,
                           (HMENU)(intptr_t)id, GetModuleHandleA(0), 0);
}

}  // namespace

TEST_F(Gadgets, OnlyALiveGadgetsOwnControlReachesItsHandler) {
    HWND window = open(1);
    ASSERT_NE(window, nullptr);
    HWND gadget_0 = make_button(window, 0);
    HWND foreign_0 = make_button(window, 0);
    HWND gadget_7 = make_button(window, 7);
    HWND no_property = make_button(window, 8);
    HWND wrong_property = make_button(window, 9);
    HWND kind_without_handler = make_button(window, 10);
    ASSERT_NE(ui_gadget_make(0, gadget_0, &handling_kind), nullptr);
    ASSERT_NE(ui_gadget_make(7, gadget_7, &handling_kind), nullptr);
    ASSERT_NE(ui_gadget_make(9, make_button(window, 9), &handling_kind), nullptr);
    SetPropA(wrong_property, "ZK_ID", (HANDLE)7);
    ASSERT_NE(ui_gadget_make(10, kind_without_handler, &silent_kind), nullptr);

    struct Case { const char* name; HWND control; bool handled; } cases[] = {
        { "gadget 7", gadget_7, true },
        { "gadget 0", gadget_0, true },
        { "no control", 0, false },
        { "identifier 0 without a property, not gadget 0's control", foreign_0, false },
        { "identifier without a property", no_property, false },
        { "property differs from the identifier", wrong_property, false },
        { "kind without a handler", kind_without_handler, false },
    };
    for (const Case& c : cases) {
        handled = 0;
        LRESULT result = gadget_dispatch(c.control, window, WM_COMMAND, 0, (LPARAM)c.control);
        EXPECT_EQ(result, c.handled ? 55 : MESSAGE_NOT_HANDLED) << c.name;
        EXPECT_EQ(handled, c.handled ? 1 : 0) << c.name;
    }

    // Through the window procedure: a handled notification posts no event.
    ui_event_queue_clear();
    SendMessageA(gadget_7, BM_CLICK, 0, 0);
    SendMessageA(no_property, BM_CLICK, 0, 0);
    std::vector<EventRecord> queue = ui_event_queue();
    int controls = 0;
    for (const EventRecord& r : queue)
        if (r.event == event_control) {
            controls++;
            EXPECT_EQ(r.object, 8);
        }
    EXPECT_EQ(controls, 1);
}

TEST_F(Gadgets, FreeingAGadgetDestroysItsControlAndClearsItsRecord) {
    HWND window = open(1);
    ASSERT_NE(window, nullptr);
    HWND control = make_button(window, 3);
    GadgetObject* gadget = ui_gadget_make(3, control, &handling_kind);
    ASSERT_NE(gadget, nullptr);
    EXPECT_EQ(gadget_free(3), 1);
    EXPECT_FALSE(IsWindow(control));
    EXPECT_EQ(registry_get(gadget_registry, 3), nullptr);
    EXPECT_EQ(gadget->gadget_class, nullptr);
    EXPECT_EQ(gadget_free(3), 0);
    EXPECT_EQ(gadget_free(12345), 0);

    // The number's next gadget starts from a clean record, its old control untouched.
    HWND first = make_button(window, 4);
    HWND second = make_button(window, 4);
    ASSERT_NE(ui_gadget_make(4, first, &handling_kind), nullptr);
    GadgetObject* again = (GadgetObject*)registry_allocate(gadget_registry, 4);
    EXPECT_FALSE(IsWindow(first));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->control, nullptr);
    EXPECT_EQ(again->gadget_class, nullptr);
    EXPECT_TRUE(IsWindow(second));
}

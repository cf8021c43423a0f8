// The windows and requesters as test binaries need them: their start-up steps (test
// binaries have no process frame), and the operations that only tests use: window
// callbacks, event bindings, reading and emptying the event queue, making gadgets.
#ifndef VANTOREL_TESTS_SUPPORT_UI_RUNTIME_H
#define VANTOREL_TESTS_SUPPORT_UI_RUNTIME_H

#include <stdint.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "ui/events.h"
#include "ui/gadgets.h"
#include "ui/window.h"

// Sets the instance handle and runs the libraries' start-up steps in the program's
// order; once per process, later calls return at once.
void ui_runtime_start(void);

// The live record of an open window, or null.
WindowObject* ui_window_record(int32_t number);

// Binds procedure to the key "event:window:object:type" (-1 for any), behind the
// procedures already bound there. Returns 0 when memory runs out.
int32_t ui_event_bind(int32_t event, int32_t window, int32_t object, int32_t type,
                      BindingProcedure procedure);
// Number of elements in the bindings map that concern window.
int32_t ui_event_bindings_of(int32_t window);

// A record's fields from event to data2, for comparing whole records.
typedef std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, int32_t> EventFields;
EventFields ui_event_fields(const EventRecord& record);

// The queue from the oldest record, copied.
std::vector<EventRecord> ui_event_queue(void);
// The event codes of the queued records of window, oldest first.
std::vector<int32_t> ui_event_codes(int32_t window);
// Gives every queued record back to the pool.
void ui_event_queue_clear(void);
// Dispatches the calling thread's pending messages.
void ui_pump_messages(void);

// Makes control gadget number of kind: the registry record and the "ZK_ID" property.
GadgetObject* ui_gadget_make(int32_t number, HWND control, GadgetClass* kind);

// A test with window 0 open as the driver opens it (centred, 300 x 200, "Vantorel",
// foreground), and every window closed and the event queue emptied afterwards.
class DriverWindowTest : public testing::Test {
  protected:
    HWND main_window = 0;
    void SetUp() override;
    void TearDown() override;
};

#endif

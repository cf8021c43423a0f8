// Gadget bookkeeping: the registry of the controls the runtime makes inside its
// windows, the routing of a control's notifications back to its kind, and the current
// gadget list (the window into which new gadgets go), handed between windows through a
// saved state kept in a property of each window that has been a list.
#ifndef VANTOREL_UI_GADGETS_H
#define VANTOREL_UI_GADGETS_H

#include <stdint.h>
#include <windows.h>

#include "runtime/registry.h"

struct GadgetObject;

// Operations of one kind of gadget. Only the message handler is used here.
struct GadgetClass {
    void* other_operations[2];
    // A message the control sent to its parent; MESSAGE_NOT_HANDLED lets the window
    // procedure go on.
    LRESULT (*message_handler)(GadgetObject* gadget, HWND parent, UINT message, WPARAM wparam,
                               LPARAM lparam);
};

// The gadget registry's record. A control counts as gadget n while its "ZK_ID"
// property and its control identifier both equal n.
struct GadgetObject {
    HWND control;
    GadgetClass* gadget_class;
};

// Where new gadgets go. The base window of the list is container_stack[0] while a
// container is open (stack_depth > 0), else current_list.
struct GadgetListState {
    HWND current_list;
    HFONT gadget_font;
    HWND* container_stack;  // object_heap; owned here while live, by a window's record while saved
    int32_t stack_depth;
    int32_t stack_capacity;
    HWND shared_window;     // destroyed by gadget_library_end
};

// The saved list state of a window that has been a gadget list, kept in the window's
// property named by gadget_stack_property.
struct GadgetStackRecord {
    HWND window;
    HWND saved_current_list;
    HWND* saved_container_stack;  // none while the state is live in GadgetListState
    int32_t saved_stack_depth;
    int32_t saved_stack_capacity;
    WNDPROC previous_procedure;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(GadgetClass) == 12, "GadgetClass keeps its 32-bit layout");
static_assert(sizeof(GadgetObject) == 8, "GadgetObject keeps its 32-bit layout");
static_assert(sizeof(GadgetListState) == 24, "GadgetListState keeps its 32-bit layout");
static_assert(sizeof(GadgetStackRecord) == 24, "GadgetStackRecord keeps its 32-bit layout");
#endif

enum { GADGET_STACK_ENTRIES = 10 };

extern ObjectRegistry* gadget_registry;
extern GadgetListState* gadget_list_state;
extern HFONT gadget_default_font;

void gadget_library_init(void);
void gadget_library_end(void);

// The name of the saved-state property: "ZK_GadgetStack_" and the module instance as a
// signed decimal number. name must hold 32 bytes.
void gadget_stack_property(char* name);

// Hands a control's message to its gadget's handler; MESSAGE_NOT_HANDLED when the
// control is no live gadget or its kind has no handler.
LRESULT gadget_dispatch(HWND control, HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Makes window the current gadget list and returns the base window of the previous
// one (or none). A window of none only returns that value.
HWND gadget_list_use(HWND window);

// Destroys the gadget's control; -1 frees every gadget. The record stays.
int32_t gadget_free(int32_t number);

// Subclass procedure of every window that has been a gadget list: discards its saved
// state when the window is destroyed.
LRESULT CALLBACK gadget_stack_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

#endif

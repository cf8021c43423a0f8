// Gadget bookkeeping. Switching the current gadget list hands the one container stack
// array between the live state and the saved record of each window, so that exactly one
// owner holds each array at any time.
#include "ui/gadgets.h"

#include <commctrl.h>
#include <stdio.h>

#include "runtime/memory.h"
#include "runtime/startup.h"
#include "ui/messages.h"

ObjectRegistry* gadget_registry;
GadgetListState* gadget_list_state;
HFONT gadget_default_font;

static void gadget_state_init(void* record) {
    GadgetListState* state = (GadgetListState*)record;
    state->container_stack =
        (HWND*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, GADGET_STACK_ENTRIES * sizeof(HWND));
    state->stack_capacity = state->container_stack ? GADGET_STACK_ENTRIES : 0;
    state->gadget_font = gadget_default_font;
}

static void gadget_state_release(void* record) {
    GadgetListState* state = (GadgetListState*)record;
    if (state->container_stack) HeapFree(object_heap, 0, state->container_stack);
    state->container_stack = 0;
}

void gadget_library_init(void) {
    gadget_default_font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    gadget_registry = registry_new(sizeof(GadgetObject), 50, gadget_free);
    gadget_list_state = (GadgetListState*)single_object_new(sizeof(GadgetListState),
                                                            gadget_state_init, gadget_state_release);
    INITCOMMONCONTROLSEX controls = { 8, 0xB48 };
    InitCommonControlsEx(&controls);
}

void gadget_library_end(void) {
    GadgetListState* state = (GadgetListState*)single_object_get(gadget_list_state);
    if (state && state->shared_window) {
        DestroyWindow(state->shared_window);
        state->shared_window = 0;
    }
}

void gadget_stack_property(char* name) {
    snprintf(name, 32, "ZK_GadgetStack_%i", (int)(intptr_t)runtime_instance);
}

static HWND base_window(const GadgetListState* state) {
    return state->stack_depth ? state->container_stack[0] : state->current_list;
}

LRESULT gadget_dispatch(HWND control, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!control || !gadget_registry) return MESSAGE_NOT_HANDLED;
    int32_t number = (int32_t)(intptr_t)GetPropA(control, "ZK_ID");
    if (number != (int32_t)GetWindowLongA(control, GWL_ID)) return MESSAGE_NOT_HANDLED;
    GadgetObject* gadget = (GadgetObject*)registry_get(gadget_registry, number);
    // A foreign control with identifier 0 and no property reads as number 0: only the
    // gadget's own control may reach its handler.
    if (!gadget || gadget->control != control) return MESSAGE_NOT_HANDLED;
    if (!gadget->gadget_class || !gadget->gadget_class->message_handler) return MESSAGE_NOT_HANDLED;
    return gadget->gadget_class->message_handler(gadget, window, message, wparam, lparam);
}

// A new saved-state record for a window that becomes a gadget list for the first time,
// with the subclass procedure that discards it on destruction.
static void attach_stack_record(HWND window, const char* property) {
    GadgetStackRecord* record =
        (GadgetStackRecord*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, sizeof(GadgetStackRecord));
    if (!record) return;
    record->window = window;
    if (!SetPropA(window, property, (HANDLE)record)) {
        HeapFree(object_heap, 0, record);
        return;
    }
    record->previous_procedure =
        (WNDPROC)SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)gadget_stack_procedure);
}

HWND gadget_list_use(HWND window) {
    GadgetListState* state = (GadgetListState*)single_object_get(gadget_list_state);
    if (!state) return 0;
    HWND previous = base_window(state);
    if (!window) return previous;
    char property[32];
    gadget_stack_property(property);

    // Without a record to take it, the array stays live and serves the new list.
    GadgetStackRecord* saved = previous ? (GadgetStackRecord*)GetPropA(previous, property) : 0;
    if (saved) {
        saved->saved_current_list = state->current_list;
        saved->saved_container_stack = state->container_stack;
        saved->saved_stack_depth = state->stack_depth;
        saved->saved_stack_capacity = state->stack_capacity;
        state->container_stack = 0;
    }

    GadgetStackRecord* record = (GadgetStackRecord*)GetPropA(window, property);
    if (record) {
        if (state->container_stack) HeapFree(object_heap, 0, state->container_stack);
        state->current_list = record->saved_current_list;
        state->container_stack = record->saved_container_stack;
        state->stack_depth = record->saved_stack_depth;
        state->stack_capacity = record->saved_stack_capacity;
        record->saved_container_stack = 0;
        return previous;
    }

    if (!state->container_stack) {
        state->container_stack =
            (HWND*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, GADGET_STACK_ENTRIES * sizeof(HWND));
        state->stack_capacity = state->container_stack ? GADGET_STACK_ENTRIES : 0;
    }
    state->stack_depth = 0;
    state->current_list = window;
    attach_stack_record(window, property);
    return previous;
}

int32_t gadget_free(int32_t number) {
    if (number == REGISTRY_AUTOMATIC) {
        registry_release_all(gadget_registry);
        return 1;
    }
    GadgetObject* gadget = (GadgetObject*)registry_get(gadget_registry, number);
    if (!gadget) return 0;
    DestroyWindow(gadget->control);
    // The registry hands this record out again for the number's next gadget: it must
    // come back zero-filled.
    registry_free(gadget_registry, number);
    return 1;
}

LRESULT CALLBACK gadget_stack_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    char property[32];
    gadget_stack_property(property);
    GadgetStackRecord* record = (GadgetStackRecord*)GetPropA(window, property);
    if (!record) return DefWindowProcA(window, message, wparam, lparam);
    WNDPROC previous_procedure = record->previous_procedure;
    if (message == WM_NCDESTROY) {
        GadgetListState* state = (GadgetListState*)single_object_get(gadget_list_state);
        if (state && base_window(state) == window) {
            state->current_list = 0;
            state->stack_depth = 0;
        }
        if (record->saved_container_stack) HeapFree(object_heap, 0, record->saved_container_stack);
        HeapFree(object_heap, 0, record);
        RemovePropA(window, property);
    }
    if (previous_procedure) return CallWindowProcA(previous_procedure, window, message, wparam, lparam);
    return DefWindowProcA(window, message, wparam, lparam);
}

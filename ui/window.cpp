// Window objects: opening (class, style, outer size, position, showing, accelerators,
// gadget list, number), hiding, centring and closing numbered windows, and pumping
// their messages between the steps of a long job.
#include "ui/window.h"

#include <ole2.h>
#include <stdio.h>

#include "runtime/memory.h"
#include "runtime/startup.h"
#include "ui/events.h"
#include "ui/gadgets.h"
#include "ui/window_procedure.h"

ObjectRegistry* window_registry;
WindowLibraryState* window_library_state;
HICON window_icon;
HCURSOR window_cursor;

// Bits of window_open's flags that are the library's own and never reach the system.
static const uint32_t LIBRARY_STYLE_BITS = WINDOW_CENTRE_SCREEN | WINDOW_CENTRE_PARENT | WINDOW_TOOL;
static const uint32_t CENTRING_BITS = WINDOW_CENTRE_SCREEN | WINDOW_CENTRE_PARENT;

void window_library_init(void) {
    window_registry = registry_new(sizeof(WindowObject), 16, window_close);
    window_library_state =
        (WindowLibraryState*)single_object_new(sizeof(WindowLibraryState), 0, 0);
    window_icon = LoadIconA(runtime_instance, MAKEINTRESOURCEA(1));
    window_cursor = LoadCursorA(0, MAKEINTRESOURCEA(32512));  // IDC_ARROW
}

void window_library_end(void) {
    if (window_registry) registry_release_all(window_registry);
}

static void window_class_name(char* name, int32_t number) {
    snprintf(name, 32, "WindowClass_%d", (int)number);
}

static void register_window_class(const char* name) {
    WNDCLASSA window_class = {};
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = window_class_procedure;
    window_class.hInstance = runtime_instance;
    window_class.hIcon = window_icon;
    window_class.hCursor = window_cursor;
    window_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    window_class.lpszClassName = name;
    // A class of the same name that still exists serves again.
    RegisterClassA(&window_class);
}

static int show_command(bool maximized, bool minimized, bool no_activation) {
    if (maximized) return no_activation ? SW_SHOWNA : SW_SHOWMAXIMIZED;
    if (minimized) return no_activation ? SW_SHOWMINNOACTIVE : SW_SHOWMINIMIZED;
    return no_activation ? SW_SHOWNOACTIVATE : SW_SHOWNORMAL;
}

// Tab and Shift+Tab, handled by the window procedure.
static void build_accelerators(WindowObject* record) {
    ACCEL* entries = (ACCEL*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, 2 * sizeof(ACCEL));
    if (!entries) return;
    entries[0].fVirt = FVIRTKEY | FNOINVERT;
    entries[0].key = VK_TAB;
    entries[0].cmd = WINDOW_TAB_NEXT;
    entries[1].fVirt = FVIRTKEY | FNOINVERT | FSHIFT;
    entries[1].key = VK_TAB;
    entries[1].cmd = WINDOW_TAB_PREVIOUS;
    record->accelerator_entries = entries;
    record->accelerator_count = 2;
    record->accelerator_table = CreateAcceleratorTableA(entries, 2);
}

intptr_t window_open(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     const char* title, uint32_t flags, HWND parent) {
    if (!window_registry) return 0;
    WindowObject* record = (WindowObject*)registry_allocate(window_registry, number);
    if (!record) return 0;
    bool automatic = number == REGISTRY_AUTOMATIC;
    if (automatic) number = registry_identity(record);

    char class_name[32];
    window_class_name(class_name, number);
    if (!title) title = "";
    register_window_class(class_name);

    bool make_current = !(flags & WINDOW_NOT_GADGET_LIST);
    uint32_t style = flags & ~(uint32_t)WINDOW_NOT_GADGET_LIST;
    if (!(style & ~(uint32_t)(CENTRING_BITS | WINDOW_INVISIBLE))) style |= WS_CAPTION;
    bool visible = !(style & WINDOW_INVISIBLE);
    style &= ~(uint32_t)WINDOW_INVISIBLE;
    bool no_activation = style & WINDOW_NO_ACTIVATION;
    DWORD ex_style = 0;
    if (style & WINDOW_TOOL) {
        style &= ~(uint32_t)(WS_MINIMIZE | WS_MAXIMIZE | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
        style |= WS_CAPTION;
        ex_style = WS_EX_TOOLWINDOW;
    }

    RECT outer = { 0, 0, width, height };
    AdjustWindowRectEx(&outer, style & ~LIBRARY_STYLE_BITS, FALSE, ex_style);
    if (x == WINDOW_IGNORE || (y == WINDOW_IGNORE && !(flags & CENTRING_BITS))) x = y = CW_USEDEFAULT;

    HWND handle = CreateWindowExA(ex_style, class_name, title,
                                  style & ~(LIBRARY_STYLE_BITS | WINDOW_NO_ACTIVATION), x, y,
                                  outer.right - outer.left, outer.bottom - outer.top, parent, 0,
                                  runtime_instance, 0);
    if (!handle) {
        UnregisterClassA(class_name, runtime_instance);
        registry_free(window_registry, number);
        return 0;
    }
    record->handle = handle;
    if (flags & CENTRING_BITS) window_centre(handle, flags, parent);
    if (visible)
        ShowWindow(handle, show_command(style & WS_MAXIMIZE, style & WS_MINIMIZE, no_activation));
    record->minimized_or_maximized = (style & (WS_MINIMIZE | WS_MAXIMIZE)) != 0;
    build_accelerators(record);
    record->mdi_client = 0;
    if (make_current) gadget_list_use(handle);
    SetPropA(handle, "ZK_WindowID", (HANDLE)(intptr_t)(number + 1));
    return automatic ? (intptr_t)number : (intptr_t)handle;
}

int32_t window_hide(int32_t number, int32_t hide, uint32_t flags) {
    WindowObject* record = window_registry ? (WindowObject*)registry_get(window_registry, number) : 0;
    if (!record) return 0;
    HWND handle = record->handle;
    if (hide) {
        HWND owner = GetWindow(handle, GW_OWNER);
        if (owner && !record->mdi_client) SetActiveWindow(owner);
        return ShowWindow(handle, SW_HIDE);
    }
    if (flags & CENTRING_BITS) window_centre(handle, flags, GetParent(handle));
    return ShowWindow(handle, show_command(IsZoomed(handle), IsIconic(handle),
                                           flags & WINDOW_NO_ACTIVATION));
}

int32_t window_close(int32_t number) {
    if (number == REGISTRY_AUTOMATIC) {
        window_library_end();
        return 1;
    }
    WindowObject* record = window_registry ? (WindowObject*)registry_get(window_registry, number) : 0;
    if (!record) return 0;
    HWND handle = record->handle;
    HWND owner = GetWindow(handle, GW_OWNER);
    if (owner && !record->mdi_client) SetActiveWindow(owner);
    RemovePropA(handle, "ZK_WindowID");
    if (RemovePropA(handle, "ZK_DropAccept")) RevokeDragDrop(handle);
    if (record->mdi_client) {
        SendMessageA(record->mdi_client, WM_MDIDESTROY, (WPARAM)handle, 0);
    } else {
        DestroyWindow(handle);
        char class_name[32];
        window_class_name(class_name, number);
        UnregisterClassA(class_name, runtime_instance);
    }
    if (record->accelerator_table) DestroyAcceleratorTable(record->accelerator_table);
    if (record->accelerator_entries) HeapFree(object_heap, 0, record->accelerator_entries);
    if (record->background_brush) DeleteObject(record->background_brush);
    event_queue_remove_window(number);
    event_bindings_remove_window(number);
    registry_free(window_registry, number);
    return 1;
}

int32_t window_pump_messages(int32_t* quit_code) {
    MSG message;
    while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
        // Posted again here, a quit would come out ahead of every paint and timer message
        // of the later pumps: the caller posts it once its job has ended.
        if (message.message == WM_QUIT) {
            *quit_code = (int32_t)message.wParam;
            return 1;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

// A window of w x h on the screen, clipped to it, so never at a negative coordinate.
static POINT screen_centre(int w, int h) {
    int screen_width = GetSystemMetrics(SM_CXSCREEN);
    int screen_height = GetSystemMetrics(SM_CYSCREEN);
    if (w > screen_width) w = screen_width;
    if (h > screen_height) h = screen_height;
    return POINT{ (screen_width - w) / 2, (screen_height - h) / 2 };
}

void window_centre(HWND window, uint32_t flags, HWND reference) {
    RECT own;
    if (!GetWindowRect(window, &own)) return;
    int w = own.right - own.left;
    int h = own.bottom - own.top;
    POINT at;
    if (flags & WINDOW_CENTRE_SCREEN) {
        at = screen_centre(w, h);
    } else if (flags & WINDOW_CENTRE_PARENT) {
        if (!reference) reference = GetActiveWindow();
        RECT around;
        // With nothing to centre on, the screen serves.
        if (!reference || !GetWindowRect(reference, &around)) {
            at = screen_centre(w, h);
        } else {
            at.x = around.left + ((around.right - around.left) - w) / 2;
            at.y = around.top + ((around.bottom - around.top) - h) / 2;
            if (at.x < 0) at.x = 0;
            if (at.y < 0) at.y = 0;
        }
    } else {
        return;
    }
    SetWindowPos(window, 0, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

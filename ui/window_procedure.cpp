// The window procedure of the numbered windows. Events carry the number found by
// walking up from the message's window to the first window with "ZK_WindowID"; until
// window_open sets that property the number is -1 and there is no record.
#include "ui/window_procedure.h"

#include <string.h>

#include "ui/events.h"
#include "ui/gadgets.h"
#include "ui/window.h"

namespace {

struct MessageContext {
    HWND window;
    HWND numbered;         // where the walk found the number, or none
    int32_t number;        // -1 without one
    WindowObject* record;  // null without one
};

MessageContext find_number(HWND window) {
    MessageContext context = { window, 0, -1, 0 };
    for (HWND w = window; w; w = GetParent(w)) {
        intptr_t id = (intptr_t)GetPropA(w, "ZK_WindowID");
        if (!id) continue;
        context.numbered = w;
        context.number = (int32_t)(id - 1);
        if (window_registry) context.record = (WindowObject*)registry_get(window_registry, context.number);
        break;
    }
    return context;
}

bool is_own_window(const MessageContext& c) { return c.record && c.window == c.record->handle; }

void post(const MessageContext& c, int32_t event, int32_t object = 0, int32_t type = 0) {
    event_post(event, object, c.number, type);
}

LRESULT on_move(const MessageContext& c) {
    if (is_own_window(c)) post(c, event_moved, c.number);
    return 0;
}

LRESULT on_size(const MessageContext& c, WPARAM kind) {
    if (c.window != c.numbered) return 1;
    WindowObject* record = c.record;
    switch (kind) {
    case SIZE_RESTORED:
        if (record && record->minimized_or_maximized) {
            record->minimized_or_maximized = 0;
            post(c, event_restored);
        }
        post(c, event_resized);
        break;
    case SIZE_MINIMIZED:
        if (record) record->minimized_or_maximized = 1;
        post(c, event_minimized);
        break;
    case SIZE_MAXIMIZED:
        if (record) record->minimized_or_maximized = 1;
        post(c, event_maximized);
        post(c, event_resized);
        break;
    default:
        post(c, event_resized);
    }
    return 0;
}

LRESULT on_activate(const MessageContext& c, WPARAM state) {
    if (LOWORD(state)) {
        HWND focus = (HWND)GetPropA(c.window, "ZK_Focus");
        // A handle kept since the deactivation may name a window that is gone, or
        // another window by now: give the focus back only within this window.
        if (focus && IsWindow(focus) && (focus == c.window || IsChild(c.window, focus))) SetFocus(focus);
        post(c, event_activated);
    } else {
        SetPropA(c.window, "ZK_Focus", (HANDLE)GetFocus());
        window_focus_cues(c.window, 0);
        post(c, event_deactivated);
    }
    return 1;
}

LRESULT on_close(const MessageContext& c) {
    if (is_own_window(c)) post(c, event_close_request, c.number);
    return 0;
}

LRESULT on_erase_background(const MessageContext& c, HDC dc) {
    LRESULT result = MESSAGE_NOT_HANDLED;
    if (c.record && c.record->background_brush) {
        RECT client;
        GetClientRect(c.window, &client);
        FillRect(dc, &client, c.record->background_brush);
        result = 1;
    } else if (is_own_window(c) && c.record->background_painter) {
        result = c.record->background_painter(dc, c.window);
    }
    post(c, event_repaint);
    return result;
}

BOOL CALLBACK send_colour_change(HWND child, LPARAM) {
    SendMessageA(child, WM_SYSCOLORCHANGE, 0, 0);
    return TRUE;
}

LRESULT on_colour_change(const MessageContext& c) {
    if (c.record && !c.record->mdi_client) EnumChildWindows(c.window, send_colour_change, 0);
    return MESSAGE_NOT_HANDLED;
}

LRESULT on_min_max_info(const MessageContext& c, MINMAXINFO* info) {
    if (!c.record || !info) return MESSAGE_NOT_HANDLED;
    const WindowObject* record = c.record;
    if (record->min_width) info->ptMinTrackSize.x = record->min_width;
    else if (GetWindowLongA(c.window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) info->ptMinTrackSize.x = 1;
    if (record->min_height) info->ptMinTrackSize.y = record->min_height;
    if (record->max_width) info->ptMaxTrackSize.x = record->max_width;
    if (record->max_height) info->ptMaxTrackSize.y = record->max_height;
    return 0;
}

LRESULT on_command(const MessageContext& c, WPARAM wparam, LPARAM lparam) {
    HWND control = (HWND)lparam;
    if (gadget_dispatch(control, c.window, WM_COMMAND, wparam, lparam) != MESSAGE_NOT_HANDLED) return 0;
    if (control) {
        int32_t id = (int32_t)GetWindowLongA(control, GWL_ID);
        if (id == WINDOW_MENU_CONTROL_ID) post(c, event_menu, LOWORD(wparam));
        else post(c, event_control, id, HIWORD(wparam));
    } else if (HIWORD(wparam) == 0) {
        post(c, event_menu, (int32_t)wparam);
    } else if (LOWORD(wparam) == WINDOW_TAB_NEXT) {
        window_tab_navigate(0);
    } else if (LOWORD(wparam) == WINDOW_TAB_PREVIOUS) {
        window_tab_navigate(1);
    } else {
        post(c, event_menu, LOWORD(wparam));
    }
    return 0;
}

LRESULT on_timer(const MessageContext& c, WPARAM timer) {
    if (!c.record) return MESSAGE_NOT_HANDLED;
    post(c, event_timer, (int32_t)timer);
    return 0;
}

LRESULT on_tray_icon(const MessageContext& c, WPARAM icon, LPARAM action) {
    int32_t type = -1;
    switch (action) {
    case WM_LBUTTONDOWN: type = 0; break;
    case WM_RBUTTONDOWN: type = 1; break;
    case WM_LBUTTONDBLCLK: type = 2; break;
    case WM_RBUTTONDBLCLK: type = 3; break;
    }
    if (type >= 0) post(c, event_tray_icon, (int32_t)icon, type);
    PostMessageA(c.window, WM_NULL, 0, 0);
    return 0;
}

}  // namespace

LRESULT window_handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    MessageContext c = find_number(window);
    WindowCallback callback = c.record ? c.record->callback : 0;
    if (!callback && window_library_state) callback = window_library_state->global_callback;
    if (callback) {
        LRESULT answer = callback(window, message, wparam, lparam);
        if (answer != CALLBACK_CONTINUE) return answer;
    }

    switch (message) {
    case WM_MOVE: return on_move(c);
    case WM_SIZE: return on_size(c, wparam);
    case WM_ACTIVATE: return on_activate(c, wparam);
    case WM_CLOSE: return on_close(c);
    case WM_ERASEBKGND: return on_erase_background(c, (HDC)wparam);
    case WM_SYSCOLORCHANGE: return on_colour_change(c);
    case WM_GETMINMAXINFO: return on_min_max_info(c, (MINMAXINFO*)lparam);
    case WM_NOTIFY:
        if (!lparam) return MESSAGE_NOT_HANDLED;
        return gadget_dispatch(((NMHDR*)lparam)->hwndFrom, window, message, wparam, lparam);
    case WM_NCDESTROY:
        RemovePropA(window, "ZK_Focus");
        return 1;
    case WM_COMMAND: return on_command(c, wparam, lparam);
    case WM_TIMER: return on_timer(c, wparam);
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WINDOW_GADGET_MESSAGE:
        return gadget_dispatch((HWND)lparam, window, message, wparam, lparam);
    case WM_LBUTTONUP: post(c, event_left_click); return 0;
    case WM_LBUTTONDBLCLK: post(c, event_left_double_click); return 0;
    case WM_RBUTTONUP: post(c, event_right_click); return 0;
    case WINDOW_TRAY_MESSAGE: return on_tray_icon(c, wparam, lparam);
    }
    return MESSAGE_NOT_HANDLED;
}

LRESULT CALLBACK window_class_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = window_handle_message(window, message, wparam, lparam);
    HWND mdi_client = message != WM_SIZE ? (HWND)GetPropA(window, "ZK_MDI_Gadget") : 0;
    if (mdi_client) {
        if (result == MESSAGE_NOT_HANDLED || message == WM_SETFOCUS || message == WM_MENUCHAR ||
            (message == WM_COMMAND && lparam == 0))
            return DefFrameProcA(window, mdi_client, message, wparam, lparam);
        return result;
    }
    SetLastError(0);
    if (result == MESSAGE_NOT_HANDLED) return DefWindowProcA(window, message, wparam, lparam);
    return result;
}

namespace {

struct TabNavigation {
    HWND current;    // the focus owner, or none
    HWND last_seen;
    bool found;      // current was just passed: the next candidate takes the focus
    bool done;
};

bool is_tab_stop(HWND window) {
    return IsWindowEnabled(window) && IsWindowVisible(window) &&
           (GetWindowLongA(window, GWL_STYLE) & WS_TABSTOP);
}

BOOL CALLBACK visit_forward(HWND candidate, LPARAM state) {
    TabNavigation* nav = (TabNavigation*)state;
    if (!is_tab_stop(candidate)) return TRUE;
    if (nav->found || !nav->current) {
        SetFocus(candidate);
        nav->found = false;
        nav->done = true;
        return FALSE;
    }
    if (candidate == nav->current) nav->found = true;
    return TRUE;
}

BOOL CALLBACK visit_backward(HWND candidate, LPARAM state) {
    TabNavigation* nav = (TabNavigation*)state;
    if (!is_tab_stop(candidate)) return TRUE;
    if (candidate == nav->current && nav->last_seen) {
        SetFocus(nav->last_seen);
        nav->done = true;
        return FALSE;
    }
    nav->last_seen = candidate;
    return TRUE;
}

}  // namespace

void window_tab_navigate(int32_t backward) {
    HWND top = GetActiveWindow();
    HWND focus = GetFocus();
    TabNavigation nav = { 0, 0, false, false };
    if (focus && top && IsChild(top, focus)) {
        nav.current = focus;
        // A composite control counts as the focus owner; inside an MDI child only its
        // own controls take part.
        HWND active = top;
        for (HWND w = focus; w && w != active; w = GetParent(w)) {
            char name[51];
            if (!GetClassNameA(w, name, sizeof name)) continue;
            if (strcmp(name, "MDI_ChildClass") == 0) {
                top = w;
                if (w == focus) nav.current = 0;
            } else if (strcmp(name, "ComboBoxEx32") == 0) {
                if (GetWindowLongA(w, GWL_STYLE) & 0x1) nav.current = w;
            } else if (strcmp(name, "SysIPAddress32") == 0) {
                nav.current = w;
            }
        }
    }
    if (!top) return;
    if (backward) {
        EnumChildWindows(top, visit_backward, (LPARAM)&nav);
        if (!nav.done && nav.last_seen) SetFocus(nav.last_seen);
        return;
    }
    EnumChildWindows(top, visit_forward, (LPARAM)&nav);
    // current was the last candidate: the second pass focuses the first.
    if (nav.found) EnumChildWindows(top, visit_forward, (LPARAM)&nav);
}

void window_focus_cues(HWND window, int32_t show) {
    LRESULT state = SendMessageA(window, WM_QUERYUISTATE, 0, 0);
    const LRESULT both = UISF_HIDEFOCUS | UISF_HIDEACCEL;
    if (show) {
        if (state & both) SendMessageA(window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, both), 0);
    } else if ((state & both) != both) {
        SendMessageA(window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, both), 0);
    }
}

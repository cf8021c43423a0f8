// The procedure of every numbered window, in two layers: window_handle_message finds
// the window's number and record, lets a callback answer first, turns system messages
// into runtime events, keeps the focus across deactivation and hands control
// notifications to the gadgets; window_class_procedure sends what stays unhandled to
// the default (or MDI frame) procedure.
#ifndef VANTOREL_UI_WINDOW_PROCEDURE_H
#define VANTOREL_UI_WINDOW_PROCEDURE_H

#include <stdint.h>
#include <windows.h>

#include "ui/messages.h"

// Events posted by the window procedure.
enum WindowEvent {
    event_control = 13100,            // object: control identifier; type: notification code
    event_menu = 13101,               // object: menu or accelerator command
    event_tray_icon = 13102,          // object: icon identifier; type: 0 to 3
    event_activated = 13104,
    event_minimized = 13107,
    event_maximized = 13108,
    event_restored = 13109,
    event_timer = 13110,              // object: timer identifier
    event_right_click = 13111,
    event_left_click = 13112,
    event_left_double_click = 13113,
    event_deactivated = 13114,
    event_repaint = 13115,
    event_close_request = 13116,      // object: window number
    event_moved = 13117,              // object: window number
    event_resized = 13118,
};

enum {
    WINDOW_TAB_NEXT = 64001,          // accelerator commands of every window
    WINDOW_TAB_PREVIOUS = 64002,
    WINDOW_MENU_CONTROL_ID = -10000,  // a control with this identifier reports as a menu
    WINDOW_TRAY_MESSAGE = 12501,      // callback message of notification-area icons
    WINDOW_GADGET_MESSAGE = 13120,    // runtime message routed to the gadgets
};

LRESULT CALLBACK window_class_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// The message's result, or MESSAGE_NOT_HANDLED for the default procedure.
LRESULT window_handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Focus to the next (backward 0) or previous tab stop of the active window, wrapping.
void window_tab_navigate(int32_t backward);
// Shows or hides focus rectangles and keyboard cues.
void window_focus_cues(HWND window, int32_t show);

#endif

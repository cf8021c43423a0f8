// UI automation for tests: finding a dialog of a process, typing into a field, pressing
// keys, clicking buttons, reading texts, closing and dismissing boxes. It works on the
// windows of this process (driven from a helper thread while the test's thread runs a
// modal loop) and on those of another process (the real program). Actions are posted,
// reads are bounded, and every wait has a timeout (stretched by test_wait_ms).
#ifndef VANTOREL_TESTS_SUPPORT_UI_AUTOMATION_H
#define VANTOREL_TESTS_SUPPORT_UI_AUTOMATION_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Waits until condition holds, checking every few milliseconds; false after timeout_ms.
bool ui_wait_until(const std::function<bool()>& condition, DWORD timeout_ms);

// The visible top-level windows of the process, top first.
std::vector<HWND> ui_process_windows(DWORD process_id);
// A visible top-level window of the process with that class and title (null: any),
// waited for up to timeout_ms; none when it does not appear. Class names compare
// without regard to case.
HWND ui_find_window(DWORD process_id, const char* class_name, const char* title, DWORD timeout_ms);
// A child of window with that class (null: any) and identifier (-1: any), or none.
HWND ui_find_child(HWND window, const char* class_name, int id);
// True once window is gone, false when it is still there after timeout_ms.
bool ui_wait_gone(HWND window, DWORD timeout_ms);

// The control with the keyboard focus in the thread that owns window.
HWND ui_focus_of(HWND window);
// The window's text, read with WM_GETTEXT.
std::string ui_window_text(HWND window);
std::string ui_class_of(HWND window);

// Types text into control as character messages, one per byte.
void ui_type_text(HWND control, const char* text);
// Presses and releases a key in control (a virtual-key code such as VK_RETURN).
void ui_press_key(HWND control, UINT key);
// Clicks a button.
void ui_click_button(HWND button);
// Clicks the close box of window.
void ui_close_box(HWND window);

// A message box's text: the texts of its static controls that show no icon.
std::string ui_message_box_text(HWND box);
// The icon a message box shows, or none.
HICON ui_message_box_icon(HWND box);
// Clicks the message box's first push button (OK for a box with one button).
bool ui_dismiss_message_box(HWND box);

// Runs modal on the calling thread while script runs on a helper thread. When modal has
// not returned timeout_ms after the script ended, a quit message to the calling thread
// ends the runtime's modal loops; that message is removed again and the result is false.
bool ui_run_modal(const std::function<void()>& modal, const std::function<void()>& script,
                  DWORD timeout_ms);

#endif

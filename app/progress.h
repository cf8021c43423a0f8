// The batch's progress in the program's window: a line of text, a progress bar from 0 to
// the number of pictures found and a "Stop" button beside it, shown once both sides are
// accepted and moved after every picture. Each step also takes the window's messages, so
// that it paints and answers the system during a long batch instead of being marked as
// hung, and a press of Stop (or Esc), the end of the session or a quit is seen within
// one picture; the driver asks between pictures whether the batch must stop.
#ifndef VANTOREL_APP_PROGRESS_H
#define VANTOREL_APP_PROGRESS_H

#include <stdint.h>
#include <windows.h>

// Adds the text, the bar and the button to window, at 0 of total.
void progress_show(HWND window, int32_t total);
// Moves both to done of total.
void progress_step(int32_t done);
// 1 once the batch must stop after the picture being written.
int32_t progress_stop_asked(void);
// Disables the button: nothing is being written any more.
void progress_end(void);
// Posts again, with its exit code, a quit message that stopped the batch, for whatever
// message loop comes next; called once the window is hidden.
void progress_pass_quit(void);

#endif

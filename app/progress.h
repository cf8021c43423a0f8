// The batch's progress in the program's window: a line of text and a progress bar from
// 0 to the number of pictures found, shown once both sides are accepted and moved after
// every picture. Each step also takes the window's messages, so that it paints and
// answers the system during a long batch instead of being marked as hung.
#ifndef VANTOREL_APP_PROGRESS_H
#define VANTOREL_APP_PROGRESS_H

#include <stdint.h>
#include <windows.h>

// Adds the text and the bar to window, at 0 of total.
void progress_show(HWND window, int32_t total);
// Moves both to done of total.
void progress_step(int32_t done);

#endif

// Answers that travel between the window procedure, window callbacks and gadget
// handlers in place of a message result.
#ifndef VANTOREL_UI_MESSAGES_H
#define VANTOREL_UI_MESSAGES_H

#include <windows.h>

// The message goes on to the default window procedure; never handed to the system.
static const LRESULT MESSAGE_NOT_HANDLED = (LRESULT)(LONG)0xD0D0D0D1u;
// Returned by a window callback: the library handles the message as if there were none.
static const LRESULT CALLBACK_CONTINUE = (LRESULT)(LONG)0xE0E0E0E1u;

#endif

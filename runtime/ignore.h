// The ignore value: given for a window position it lets the system place the window;
// given for a width or height of a resize it keeps that side.
#ifndef VANTOREL_RUNTIME_IGNORE_H
#define VANTOREL_RUNTIME_IGNORE_H

enum { IGNORE_VALUE = -65535 };  // the 32-bit pattern 0xFFFF0001

#endif

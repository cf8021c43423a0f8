// Fixed path buffers of the file and process libraries: 260 characters and a
// terminator. Paths go to the ANSI Win32 calls; longer text is cut, never refused.
#ifndef VANTOREL_FS_PATHBUF_H
#define VANTOREL_FS_PATHBUF_H

#include <stdint.h>
#include <string.h>

enum { PATH_CHARS = 260 };

typedef char PathBuffer[PATH_CHARS + 1];

// Copies at most length characters of text (stopping at its terminator) and at most
// PATH_CHARS of them; returns the number copied. A null text copies nothing.
inline int32_t path_copy(PathBuffer destination, const char* text, int32_t length) {
    int32_t n = 0;
    if (text)
        while (n < length && n < PATH_CHARS && text[n]) {
            destination[n] = text[n];
            n++;
        }
    destination[n] = 0;
    return n;
}

#endif

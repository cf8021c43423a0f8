// Fixed path buffers of the file and process libraries: 260 characters of the active code
// page and a terminator. Paths go to the ANSI Win32 calls; longer text is cut, never refused.
#ifndef VANTOREL_FS_PATHBUF_H
#define VANTOREL_FS_PATHBUF_H

#include <stdint.h>
#include <string.h>

// A character is what the system counts in a path: one UTF-16 unit, which the active code
// page writes in at most 3 bytes (UTF-8's widest; a double-byte code page takes 2).
enum { PATH_CHARS = 260, PATH_BYTES = 3 * PATH_CHARS };

typedef char PathBuffer[PATH_BYTES + 1];

// The bytes of text's first PATH_CHARS characters at most, and of its first length bytes
// at most, stopping at its terminator; a character that would cross either bound is left
// out whole. Null text has none.
int32_t path_bytes(const char* text, int32_t length);

// The bytes of the character text starts with, for finding '\\', '/', '|' and ' ' in a
// path of the active code page (code_page, GetACP's answer): 2 for a lead byte of a
// double-byte code page that is not followed by the terminator, whose trail byte may be
// 0x5C or 0x7C; else 1, as no byte of UTF-8's longer characters is below 0x80.
int32_t path_char_bytes(const char* text, uint32_t code_page);

// length, less the trailing characters of text that are in trailing (walked by
// character, so that a trail byte is never taken for one).
int32_t path_trimmed(const char* text, int32_t length, const char* trailing);

// Copies what path_bytes keeps of text and a terminator; returns the bytes copied.
inline int32_t path_copy(PathBuffer destination, const char* text, int32_t length) {
    int32_t n = path_bytes(text, length);
    memcpy(destination, text ? text : "", (size_t)n);
    destination[n] = 0;
    return n;
}

#endif

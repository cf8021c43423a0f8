// The string engine: one growing temporary buffer in which every string expression is
// built, and string variables, each a block of string_heap holding a finished text.
//
// Temporary-string protocol: a caller saves s = string_end before an expression; an
// operation that returns a string takes the output position (the current string_end)
// as its last argument and leaves string_end just behind its result; before handing
// the finished text to a callee that may build strings itself, the caller steps
// string_end past the terminator and only then turns s into a pointer (growth moves the
// buffer); afterwards it sets string_end back to s, or keeps the text with str_assign.
//
// Texts are zero-terminated 8-bit strings; a null text reads as the empty string.
#ifndef VANTOREL_RUNTIME_STRINGS_H
#define VANTOREL_RUNTIME_STRINGS_H

#include <stdint.h>
#include "runtime/platform.h"

extern HANDLE string_heap;
extern char* string_buffer;      // moves whenever it grows
extern int32_t string_end;       // offset of the terminator of the text being built
extern int32_t string_capacity;  // growth bookkeeping; starts at 16

// The constant empty text, read wherever a null string must be read.
extern const char str_empty[1];

void str_engine_init(void);
void str_engine_free(void);

// Room for n bytes and a terminator at offset pos (pos <= string_end); string_end
// becomes pos + n. May move the buffer. Returns string_buffer + pos.
char* str_reserve(int32_t n, int32_t pos);
// Lowers string_end by n after a reservation larger than the text written.
int32_t str_give_back(int32_t n);
// An empty result at pos: string_end := pos, terminator written there.
int32_t str_cut_at(int32_t pos);
// Appends a copy of text at string_end; a null text only writes the terminator.
void str_concat(const char* text);
// 1-based offset of a pointer into the buffer (its start to string_end, both ends
// included), or 0 when the pointer lies elsewhere.
int32_t str_buffer_offset(const char* pointer);
char* str_buffer_pointer(int32_t offset);

// Moves the temporary text from start to string_end into *variable, sets string_end
// back to start and returns start. When no block can be had the variable is left null
// (empty), its old block freed.
int32_t str_assign(char** variable, int32_t start);
// A fresh block holding a copy of text; a null text leaves the variable untouched.
// The caller releases any old block first.
void str_duplicate(char** variable, const char* text);
// Frees a variable's block; null is ignored.
void str_release(char* block);

int32_t str_length(const char* text);
// 1 when both texts are byte for byte equal (null reads as empty), 0 otherwise.
int32_t str_compare(const char* a, const char* b);

#endif

// The program's own path and the folder part of a path, as temporary strings: each
// writes its result at pos of the temporary string buffer and leaves string_end on the
// result's terminator.
#ifndef VANTOREL_FS_PROGPATH_H
#define VANTOREL_FS_PROGPATH_H

#include <stdint.h>

// The full path of the program file, without a "\\?\" prefix, cut after 260
// characters; the empty string when the system cannot tell it.
void program_filename(int32_t pos);

// The folder part of path, up to and including its last '\' or '/': an opening double
// quote and everything from the first '|' on are left out; empty without a separator
// or for null. The path is walked by character of the active code page. path may lie
// in the temporary buffer, at pos itself included.
void path_part(const char* path, int32_t pos);

#endif

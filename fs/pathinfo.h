// What a path names, and folder creation: file_size tells a file (its size), a folder
// or drive root (-2) and nothing usable (-1) apart; dir_create makes the last folder of
// a path. Paths are ANSI, cut after 260 characters.
#ifndef VANTOREL_FS_PATHINFO_H
#define VANTOREL_FS_PATHINFO_H

#include <stdint.h>

enum { FILE_SIZE_NOTHING = -1, FILE_SIZE_DIRECTORY = -2 };

// The file's size in bytes (64-bit), FILE_SIZE_DIRECTORY for a folder or drive root,
// FILE_SIZE_NOTHING for a missing, empty or unusable path. A path holding wildcards
// reports on its first match.
int64_t file_size(const char* path);

// Creates the last folder of path (trailing spaces, backslashes and slashes ignored).
// Non-zero when the folder was created; 0 for an existing folder, a missing parent or
// an empty path.
int32_t dir_create(const char* path);

#endif
